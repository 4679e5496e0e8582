#pragma once

// String IDs of the set-up file layer's texts (res/strings_files.inc).

namespace quarnex::ids {

constexpr int kNoFileSelected = 10900;      // "No file selected !"
constexpr int kFileDataError = 10901;       // "File data error"
constexpr int kValueNotStorable = 10902;    // a value the restore would refuse
constexpr int kTextNotStorable = 10903;     // a text with TAB or a line break
constexpr int kLineTooLong = 10904;         // a line longer than a set-up file line may be
constexpr int kBackupCopyFailed = 10905;    // the previous file could not be kept as ".bak"
constexpr int kActivityLabel = 10910;       // "Activity:"
constexpr int kRecipeLabel = 10911;         // "Recipe:"
constexpr int kRecipeLineLabel = 10912;     // "Line"
constexpr int kRecipeSetpointLabel = 10913; // "Setp:"

} // namespace quarnex::ids
