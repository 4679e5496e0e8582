#include "instrument/InstrumentType.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quarnex {
namespace {

// The identification section of a set-up file as a list of records; a failure code can stand in
// for a record.
class FakeSection : public SetupRecordReader {
public:
    struct Record {
        int reg;
        float value;
        int failure = 0;
    };
    explicit FakeSection(std::vector<Record> records) : records_(std::move(records)) {}
    int FindSection(int sectionId, Prompter*) override {
        sectionAsked_ = sectionId;
        return findResult_;
    }
    int ReadRegisterValue(int& reg, float& value, Prompter*) override {
        if (next_ == records_.size())
            return kEndOfSection;
        const Record& r = records_[next_++];
        reg = r.reg;
        value = r.value;
        return r.failure;
    }
    std::string FileName() const override { return "/tmp/unit7.kel"; }

    size_t next_ = 0;
    int sectionAsked_ = -1;
    int findResult_ = 0;
    std::vector<Record> records_;
};

std::vector<FakeSection::Record> Kel7Block() {
    return {{40200, 2003},  {40202, 7310},  {40204, 104},   {40208, 98765}, {40370, 18},
            {40372, 41400}, {40374, 605},   {40376, 43100}, {40378, 54},    {40380, 41000},
            {40382, 159},   {40384, 41338}, {40386, 5},     {40394, 1310},  {40396, 2}};
}

TEST(InfoRecords, CompleteBlockLoads) {
    auto records = Kel7Block();
    records.insert(records.begin() + 3, {40206, 1.0f}); // read with the block, not used
    FakeSection section(records);
    ScriptedPrompter prompter;
    InstrumentInfo info;
    EXPECT_EQ(LoadInstrumentInfoFromRecords(section, info, true, prompter), 0);
    EXPECT_EQ(section.sectionAsked_, SetupRecordReader::kIdentificationSection);
    EXPECT_EQ(info.type, itype::kKel7);
    EXPECT_EQ(info.serialNumber, 98765.0f);
    EXPECT_EQ(info.firstStringRegister, 43100);
    EXPECT_EQ(info.setupDataVersion, 2);
    EXPECT_TRUE(prompter.Boxes().empty());
}

TEST(InfoRecords, Pir7BlockMayLackBatchAndStringRegistersOthersMayNot) {
    std::vector<FakeSection::Record> shortBlock;
    for (const auto& r : Kel7Block())
        if (r.reg < 40370 || r.reg > 40378)
            shortBlock.push_back(r);
    shortBlock[0].value = 2001;
    ScriptedPrompter prompter;
    InstrumentInfo info;
    FakeSection pir(shortBlock);
    EXPECT_EQ(LoadInstrumentInfoFromRecords(pir, info, true, prompter), 0);
    EXPECT_EQ(info.type, itype::kPir7);

    shortBlock[0].value = 2003;
    FakeSection kel(shortBlock);
    EXPECT_EQ(LoadInstrumentInfoFromRecords(kel, info, true, prompter), 9);
    EXPECT_EQ(info.type, 0); // nothing of a refused block is kept
    EXPECT_EQ(prompter.Texts(), std::vector<std::string>{
                                    "Selected file is not a valid set-up file\n(/tmp/unit7.kel)"});
}

TEST(InfoRecords, RepeatsUnknownTypesAndReaderFailuresEndTheLoad) {
    ScriptedPrompter prompter;
    InstrumentInfo info;

    auto repeated = Kel7Block();
    repeated.push_back({40394, 1310});
    FakeSection twice(repeated);
    EXPECT_EQ(LoadInstrumentInfoFromRecords(twice, info, false, prompter), 9);

    auto unknown = Kel7Block();
    unknown[0].value = 2005;
    FakeSection stranger(unknown);
    EXPECT_EQ(LoadInstrumentInfoFromRecords(stranger, info, false, prompter), 9);
    EXPECT_EQ(stranger.next_, 1u); // the scan stops at the type record

    auto broken = Kel7Block();
    broken[5].failure = 5;
    FakeSection damaged(broken);
    EXPECT_EQ(LoadInstrumentInfoFromRecords(damaged, info, false, prompter), 5);
    EXPECT_TRUE(prompter.Boxes().empty()); // messages were not asked for

    FakeSection missing(Kel7Block());
    missing.findResult_ = 10;
    EXPECT_EQ(LoadInstrumentInfoFromRecords(missing, info, true, prompter), 10);
    EXPECT_EQ(prompter.Boxes().size(), 1u);
}

} // namespace
} // namespace quarnex
