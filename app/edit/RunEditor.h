#pragma once

#include "edit/EditRequest.h"

class QWidget;

namespace quarnex {

class SetupSource;

// Opens the value-entry dialog an edit request asks for, over the editor logic the set-up source
// makes: every ">>" of the program comes here (the sheet's pages, the activity and recipe dialogs,
// the panel's information and levels windows). True when the dialog ended with OK (the source
// took the value); a set-up page then reads the block again with ReadAfterEdit.
bool RunEditor(const EditRequest& request, SetupSource& source, QWidget* parent);

} // namespace quarnex
