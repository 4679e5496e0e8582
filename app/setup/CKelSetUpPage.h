#pragma once

#include "app/setup/CSetupRows.h"

#include <memory>

class QBoxLayout;

namespace quarnex {

// A page of the set-up sheet, rendered from its descriptor: every page is this one widget with
// other rows. In show mode it refreshes itself on the polling window's timer while it is the
// current tab; in edit mode the ">>" of a row opens the row's value-entry dialog (through the one
// editor dispatcher) and the page re-reads after a confirmed edit. The ">>" of an activity or a
// recipe opens its dialog, in show mode too.
//
// A page with a live part (the calibration page's measured signal) derives from this class with
// its own page logic, puts its part beside the rows with AddLivePart() and renders it (Render()).
class CKelSetUpPage : public CPageHost<CPollingPage> {
    Q_OBJECT
public:
    CKelSetUpPage(SetupSource& source, const PageDescriptor& page, bool editMode,
                  QWidget* parent = nullptr);

protected:
    CKelSetUpPage(SetupSource& source, std::unique_ptr<KelSetUpPage> logic, QWidget* parent);
    // Adds a widget in a column right of the rows.
    void AddLivePart(QWidget* part);
    // Shows the page's state in its widgets.
    void Render() override;

private:
    QWidget* scroll_;
    QBoxLayout* liveColumn_;
};

} // namespace quarnex
