#pragma once

#include "files/SetupFile.h"
#include "instrument/InstrumentSetup.h"

#include <bitset>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace quarnex {

// A whole set-up file held in memory: the identification block and every value, activity,
// recipe line and string in the instrument's own set-up model, so that whatever shows or edits a
// connected instrument's set-up can show or edit a file's as well. Values are found by their
// registers through the file's own identification block, as the restore matches them.
struct SetupFileImage {
    // The identification block is setup.Info(); the address stays 0. Values the file does not
    // hold keep the model's defaults (999 for values, 0 for recipe lines, "" for strings); the
    // Present bits below say which ones the file held. Special rows get their descriptor (name,
    // unit, decimals) from the label and the display text of their lines.
    InstrumentSetup setup;
    std::vector<std::string> userInfo; // the information lines, as stored
    std::string fileIdTime;            // the FILE_ID and FILE_OK lines ("" when not there)
    std::string fileOkTime;

    bool hasBatch = false; // the optional sections
    bool hasRecipes = false;
    bool hasStrings = false;
    std::bitset<InstrumentSetup::kValues> valuePresent;
    std::bitset<InstrumentSetup::kBatchValues> batchPresent;
    std::bitset<InstrumentSetup::kRecipeValues> recipePresent;
    std::bitset<InstrumentSetup::kTexts> textPresent;

    // Every value, activity value, recipe line and string the identification block describes is
    // present: the image can be written back as a whole set-up file.
    bool Complete() const;
};

// Loads the whole file. kOk, or the first failure with its message shown at owner: the file
// layer's own (no name, open and read failures, "File data error", "Selected file is not a valid
// set-up file"), or kNotValid with "Selected file is not a valid set-up file" + "(<file>)" and
// the reason on a third line, for a file that passes validation but cannot be a set-up: counts
// beyond this program's model, a register outside its section or outside the block its
// identification describes, a register twice, an activity or recipe number that does not exist,
// a string longer than the instrument holds. On failure image is left as it was.
SetupFileStatus LoadSetupFileImage(const std::string& fileName, SetupFileImage& image,
                                   Prompter& owner);

// Writes image as a new set-up file with the backup's writer: the same identification block and
// values, the given information lines, FILE_ID and FILE_OK stamped with now(). An existing file
// of that name is kept as name + ".bak" first. An image that is not Complete() is refused
// (kNotStorable, message shown, nothing written): the writer would fill the gaps with defaults that
// a restore then sends to the instrument. Otherwise kOk or the file layer's failure (message
// shown).
SetupFileStatus WriteSetupFileImage(const SetupFileImage& image, const std::string& fileName,
                                    const std::vector<std::string>& userInfo,
                                    const std::function<std::time_t()>& now, Prompter& owner);

} // namespace quarnex
