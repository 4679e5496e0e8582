// libFuzzer target for the set-up file reader: any bytes as a file, read the way the restore and
// the viewer read it (validation, the identification block, the value and string lines of every
// section) and loaded whole into memory. Never a crash; every value accepted is one the restore may
// send, every line fits the line limit. A broken rule stops the run.
#include "FuzzRequire.h"
#include "files/SetupFile.h"
#include "files/SetupFileImage.h"
#include "support/ScriptedPrompter.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

using namespace quarnex;

const std::string& Path() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/quarnex-setup-fuzz-" +
               std::to_string(::getpid()) + ".kst";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream(Path(), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    ScriptedPrompter prompter;
    SetupFile file;
    file.SetFileName(Path());
    Require(file.OpenForRead(prompter) == SetupFileStatus::kOk);
    file.Validate(false, prompter);
    InstrumentInfo info;
    file.LoadInstrumentInfo(info, false, prompter);
    for (SectionId id : {SectionId::kSetUp, SectionId::kBatchSetUp, SectionId::kRecipeSetUp}) {
        if (file.FindSection(id, prompter) != SetupFileStatus::kOk)
            continue;
        int reg = 0;
        float value = 0;
        for (int i = 0;
             i < 2000 && file.ReadRegisterValue(reg, value, prompter) == SetupFileStatus::kOk; ++i)
            Require(std::isfinite(value) && std::fabs(value) < SetupFile::kValueLimit);
    }
    if (file.FindSection(SectionId::kStrSetUp, prompter) == SetupFileStatus::kOk) {
        int reg = 0;
        std::string text;
        for (int i = 0;
             i < 2000 && file.ReadRegisterText(reg, text, prompter) == SetupFileStatus::kOk; ++i)
            Require(text.size() < SetupFile::kMaxLineBytes);
    }
    std::string text;
    file.ReadSectionText(text, SectionId::kUserInfo, prompter);
    file.Close(prompter);
    // Line by line from the start: every line fits the limit with its line end.
    Require(file.OpenForRead(prompter) == SetupFileStatus::kOk);
    std::string line;
    for (int i = 0; i < 5000 && file.ReadLine(line, prompter) == SetupFileStatus::kOk; ++i)
        Require(line.size() <= SetupFile::kMaxLineBytes);
    file.Close(prompter);
    // The whole file into memory; what loads fits the set-up model and, when complete, writes
    // back into a file that loads again.
    SetupFileImage image;
    if (LoadSetupFileImage(Path(), image, prompter) == SetupFileStatus::kOk) {
        const InstrumentInfo& info = image.setup.Info();
        Require(info.normalCount <= SetupParameterTable::kNormalRows &&
                info.specialCount <= SetupParameterTable::kSpecialRows &&
                info.stringCount <= InstrumentSetup::kTexts);
        if (image.Complete()) {
            const std::string copy = Path() + ".copy";
            Require(WriteSetupFileImage(
                        image, copy, image.userInfo, [] { return 0; }, prompter) ==
                    SetupFileStatus::kOk);
            SetupFileImage again;
            Require(LoadSetupFileImage(copy, again, prompter) == SetupFileStatus::kOk);
            ::unlink(copy.c_str());
            ::unlink((copy + ".bak").c_str());
        }
    }
    ::unlink(Path().c_str());
    return 0;
}
