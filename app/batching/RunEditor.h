#pragma once

#include "setup/SetupPage.h"

class QWidget;

namespace quarnex {

class SetupSource;

// Opens the value-entry dialog an edit request asks for, over the editor logic the set-up source
// makes: every ">>" of the sheet's pages and of the activity and recipe dialogs comes here. True
// when the dialog ended with OK (the source took the value); the caller then reads the block
// again with ReadAfterEdit.
bool RunEditor(const EditRequest& request, SetupSource& source, QWidget* parent);

} // namespace quarnex
