#include "app/edit/RunEditor.h"

#include "app/edit/CValueEntryDlg.h"
#include "edit/SetupSource.h"
#include "edit/ValueEntry.h"

namespace quarnex {

bool RunEditor(const EditRequest& request, SetupSource& source, QWidget* parent) {
    switch (request.editor) {
    case EditorKind::Choice:
    case EditorKind::ActivityChoice: {
        auto entry = source.MakeChoice(request);
        return entry && CChoiceDlg::Run(*entry, parent);
    }
    case EditorKind::Adjust: {
        auto entry = source.MakeAdjustment(request);
        return entry && CAdjustDlg::Run(*entry, parent);
    }
    case EditorKind::Text: {
        auto entry = source.MakeText(request);
        return entry && CTextDlg::Run(*entry, parent);
    }
    case EditorKind::Shunt: {
        auto entry = source.MakeShunt(request);
        return entry && CShuntDlg::Run(*entry, parent);
    }
    case EditorKind::Number:
    case EditorKind::Code:
    case EditorKind::Special:
        break;
    }
    auto entry = source.MakeNumber(request);
    return entry && CNumberDlg::Run(*entry, parent);
}

} // namespace quarnex
