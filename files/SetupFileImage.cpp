#include "files/SetupFileImage.h"

#include "files/SetupFileWriter.h"
#include "instrument/Registers.h"
#include "res/FileTextIds.h"
#include "res/InstrumentTextIds.h"
#include "res/Strings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace quarnex {

namespace {

using Table = SetupParameterTable;

constexpr int kTextRegisters = 6;
constexpr int kLastActivityRegister = reg::kActivityWindow + 2 * (Table::kActivityValues - 1);
constexpr int kLastRecipeRegister =
    reg::kRecipeWindow + 2 * (InstrumentSetup::kRecipeValuesEach - 1);

std::string Shown(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

// Reads one file into an image; the first failure ends it with its status (and its message).
class ImageReader {
public:
    ImageReader(SetupFile& file, SetupFileImage& image, Prompter& owner)
        : file_(file), image_(image), owner_(owner) {}

    SetupFileStatus Read() {
        SetupFileStatus s = file_.Validate(true, owner_);
        if (s != SetupFileStatus::kOk)
            return s;
        InstrumentInfo& info = image_.setup.MutableInfo();
        SetupFileRecords records(file_, owner_);
        const int loaded = LoadInstrumentInfoFromRecords(records, info, true, owner_);
        if (loaded != SetupRecordReader::kOk)
            return static_cast<SetupFileStatus>(loaded);
        if (info.normalCount < 0 || info.normalCount > Table::kNormalRows ||
            info.specialCount < 0 || info.specialCount > Table::kSpecialRows ||
            info.stringCount < 0 || info.stringCount > InstrumentSetup::kTexts)
            return Invalid(Text(ids::kImageTooLarge));
        if ((s = ReadSetUp()) != SetupFileStatus::kOk ||
            (s = ReadBatch()) != SetupFileStatus::kOk ||
            (s = ReadRecipes()) != SetupFileStatus::kOk ||
            (s = ReadStrings()) != SetupFileStatus::kOk)
            return s;
        if ((s = ReadOneLine(SectionId::kFileId, image_.fileIdTime)) != SetupFileStatus::kOk ||
            (s = ReadOneLine(SectionId::kFileOk, image_.fileOkTime)) != SetupFileStatus::kOk)
            return s;
        return ReadUserInfo();
    }

private:
    SetupFileStatus Invalid(const std::string& reason) {
        owner_.Error(Text(ids::kNotValidSetupFile) + "\n(" + file_.FileName() + ")\n" + reason);
        return SetupFileStatus::kNotValid;
    }
    SetupFileStatus RegisterFault(int id, int reg) {
        return Invalid(FormatText(Text(id), {std::to_string(reg)}));
    }
    template <size_t N> SetupFileStatus Mark(std::bitset<N>& present, int i, int reg) {
        if (present.test(static_cast<size_t>(i)))
            return RegisterFault(ids::kImageRepeatedRegister, reg);
        present.set(static_cast<size_t>(i));
        return SetupFileStatus::kOk;
    }
    // Walks the value lines of a section up to its end line, handing each to take.
    template <class Take> SetupFileStatus EachValue(Take take) {
        for (;;) {
            int reg = 0;
            float value = 0.0f;
            SetupFileStatus s = file_.ReadRegisterValue(reg, value, owner_);
            if (s == SetupFileStatus::kEndLine)
                return SetupFileStatus::kOk;
            if (s != SetupFileStatus::kOk || (s = take(reg, value)) != SetupFileStatus::kOk)
                return s;
        }
    }
    // FindSection for an optional section: present false when it is not in the file.
    SetupFileStatus Find(SectionId id, bool& present) {
        const SetupFileStatus s = file_.FindSection(id, owner_);
        present = s == SetupFileStatus::kOk;
        return s == SetupFileStatus::kSectionNotFound ? SetupFileStatus::kOk : s;
    }

    SetupFileStatus ReadSetUp() {
        const InstrumentInfo& info = image_.setup.Info();
        std::vector<int> specialLines; // line index -> special j, or -1
        SetupFileStatus s = file_.FindSection(SectionId::kSetUp, owner_);
        if (s != SetupFileStatus::kOk)
            return s;
        s = EachValue([&](int reg, float value) {
            // Normal values first, as the restore matches them.
            int row = reg::IndexIn(reg, info.firstNormalRegister, info.normalCount, 2);
            const int j =
                row >= 0 ? -1 : reg::IndexIn(reg, info.firstSpecialRegister, info.specialCount, 2);
            if (j >= 0)
                row = Table::kSpecialFirst + j;
            specialLines.push_back(j);
            if (row < 0)
                return RegisterFault(ids::kImageStrayRegister, reg);
            image_.setup.SetValue(row, value);
            return Mark(image_.valuePresent, row, reg);
        });
        if (s != SetupFileStatus::kOk)
            return s;
        // The special rows' names, units and decimals are in the same lines, after the value:
        // label TAB display text SPACE unit.
        if ((s = file_.FindSection(SectionId::kSetUp, owner_)) != SetupFileStatus::kOk)
            return s;
        for (int j : specialLines) {
            std::string text;
            if ((s = file_.ReadTextLine(text, owner_, 2)) != SetupFileStatus::kOk)
                return s;
            if (j >= 0)
                image_.setup.MutableDescriptor(j) = Descriptor(text);
        }
        return SetupFileStatus::kOk;
    }

    static SpecialDescriptor Descriptor(const std::string& text) {
        SpecialDescriptor d;
        d.valid = true;
        const size_t tab = text.find('\t');
        d.name = text.substr(0, tab);
        const std::string shown = tab == std::string::npos ? std::string() : text.substr(tab + 1);
        const size_t space = shown.find(' ');
        if (space != std::string::npos)
            d.unit = shown.substr(space + 1);
        const size_t point = shown.find('.');
        if (point != std::string::npos && point < space) {
            const size_t end =
                std::min({space, shown.size(), shown.find_first_not_of("0123456789", point + 1)});
            d.decimals = static_cast<int>(end - point - 1);
        }
        return d;
    }

    SetupFileStatus ReadBatch() {
        SetupFileStatus s = Find(SectionId::kBatchSetUp, image_.hasBatch);
        if (s != SetupFileStatus::kOk || !image_.hasBatch)
            return s;
        int activity = 0;
        return EachValue([&](int reg, float value) {
            int b = reg::IndexIn(reg, reg::kBatchGeneral, Table::kGeneralBatchValues, 2);
            if (reg == reg::kActivitySelector) {
                activity = reg::SelectedNumber(value, Table::kActivities);
                if (activity == 0)
                    return Invalid(FormatText(Text(ids::kImageNoSuchNumber),
                                              {std::to_string(reg), Shown(value)}));
                return SetupFileStatus::kOk;
            }
            if (b < 0 && activity > 0 && reg >= reg::kActivityWindow &&
                reg <= kLastActivityRegister && reg % 2 == 0)
                b = Table::kGeneralBatchValues + Table::kActivityValues * (activity - 1) +
                    (reg - reg::kActivityWindow) / 2;
            if (b < 0)
                return RegisterFault(ids::kImageStrayRegister, reg);
            image_.setup.SetBatchValue(b, value);
            return Mark(image_.batchPresent, b, reg);
        });
    }

    SetupFileStatus ReadRecipes() {
        SetupFileStatus s = Find(SectionId::kRecipeSetUp, image_.hasRecipes);
        if (s != SetupFileStatus::kOk || !image_.hasRecipes)
            return s;
        int recipe = 0;
        return EachValue([&](int reg, float value) {
            if (reg == reg::kRecipeSelector) {
                recipe = reg::SelectedNumber(value, InstrumentSetup::kRecipes);
                if (recipe == 0)
                    return Invalid(FormatText(Text(ids::kImageNoSuchNumber),
                                              {std::to_string(reg), Shown(value)}));
                return SetupFileStatus::kOk;
            }
            if (recipe == 0 || reg < reg::kRecipeWindow || reg > kLastRecipeRegister ||
                reg % 2 != 0)
                return RegisterFault(ids::kImageStrayRegister, reg);
            const int i =
                InstrumentSetup::kRecipeValuesEach * (recipe - 1) + (reg - reg::kRecipeWindow) / 2;
            image_.setup.SetRecipeValue(i, value);
            return Mark(image_.recipePresent, i, reg);
        });
    }

    SetupFileStatus ReadStrings() {
        SetupFileStatus s = Find(SectionId::kStrSetUp, image_.hasStrings);
        if (s != SetupFileStatus::kOk || !image_.hasStrings)
            return s;
        const InstrumentInfo& info = image_.setup.Info();
        for (;;) {
            int reg = 0;
            std::string text;
            s = file_.ReadRegisterText(reg, text, owner_);
            if (s == SetupFileStatus::kEndLine)
                return SetupFileStatus::kOk;
            if (s != SetupFileStatus::kOk)
                return s;
            const int k =
                reg::IndexIn(reg, info.firstStringRegister, info.stringCount, kTextRegisters);
            if (k < 0)
                return RegisterFault(ids::kImageStrayRegister, reg);
            if (text.size() > static_cast<size_t>(Table::kTextLength))
                return RegisterFault(ids::kImageTextTooLong, reg);
            image_.setup.SetText(k, text);
            if ((s = Mark(image_.textPresent, k, reg)) != SetupFileStatus::kOk)
                return s;
        }
    }

    // The first line of a section of one line (the times); validated to exist.
    SetupFileStatus ReadOneLine(SectionId id, std::string& line) {
        SetupFileStatus s = file_.FindSection(id, owner_);
        if (s == SetupFileStatus::kOk)
            s = file_.ReadTextLine(line, owner_);
        if (s == SetupFileStatus::kEndLine) {
            line.clear();
            return SetupFileStatus::kOk;
        }
        return s;
    }

    SetupFileStatus ReadUserInfo() {
        SetupFileStatus s = file_.FindSection(SectionId::kUserInfo, owner_);
        std::string line;
        while (s == SetupFileStatus::kOk &&
               (s = file_.ReadTextLine(line, owner_)) == SetupFileStatus::kOk)
            image_.userInfo.push_back(line);
        return s == SetupFileStatus::kEndLine ? SetupFileStatus::kOk : s;
    }

    SetupFile& file_;
    SetupFileImage& image_;
    Prompter& owner_;
};

} // namespace

bool SetupFileImage::Complete() const {
    const InstrumentInfo& info = setup.Info();
    for (int i = 0; i < info.normalCount; ++i)
        if (!valuePresent.test(static_cast<size_t>(i)))
            return false;
    for (int j = 0; j < info.specialCount; ++j)
        if (!valuePresent.test(static_cast<size_t>(Table::kSpecialFirst + j)))
            return false;
    for (int k = 0; k < info.stringCount; ++k)
        if (!textPresent.test(static_cast<size_t>(k)))
            return false;
    return batchPresent.all() && recipePresent.all();
}

SetupFileStatus LoadSetupFileImage(const std::string& fileName, SetupFileImage& image,
                                   Prompter& owner) {
    SetupFile file;
    if (fileName.empty())
        file.ClearFileName();
    else
        file.SetFileName(fileName);
    SetupFileStatus status = file.OpenForRead(owner);
    if (status != SetupFileStatus::kOk)
        return status;
    // Built aside, so a bad file leaves the caller's image as it was.
    auto loaded = std::make_unique<SetupFileImage>();
    status = ImageReader(file, *loaded, owner).Read();
    file.Close(owner);
    if (status == SetupFileStatus::kOk)
        image = std::move(*loaded);
    return status;
}

SetupFileStatus WriteSetupFileImage(const SetupFileImage& image, const std::string& fileName,
                                    const std::vector<std::string>& userInfo,
                                    const std::function<std::time_t()>& now, Prompter& owner) {
    if (!image.Complete()) {
        owner.Error(Text(ids::kImageIncomplete));
        return SetupFileStatus::kNotStorable;
    }
    SetupFile file;
    if (fileName.empty())
        file.ClearFileName();
    else
        file.SetFileName(fileName);
    SetupFileStatus status = file.OpenForWrite(owner);
    if (status != SetupFileStatus::kOk)
        return status;
    status = WriteSetupSections(file, image.setup, userInfo, now(), now, owner);
    // The close flushes the file to the disk; a file that did not get there was not written.
    const SetupFileStatus closed = file.Close(owner);
    return status != SetupFileStatus::kOk ? status : closed;
}

} // namespace quarnex
