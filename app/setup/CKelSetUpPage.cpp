#include "app/setup/CKelSetUpPage.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace quarnex {

namespace {

// A page may be made this low on a small screen; it scrolls then.
constexpr int kMinRowsHeight = 240;

// Scrolls the rows vertically only: always as wide as the rows with the scroll bar beside them.
// It asks for the rows' full height, so the sheet opens without scrolling where the screen
// allows, and can be made as low as kMinRowsHeight. (The rows' size is known only once their
// texts are set and the style has polished them, so it is asked for each time.)
class RowsScrollArea : public QScrollArea {
public:
    QSize minimumSizeHint() const override {
        const QSize full = sizeHint();
        return {full.width(), std::min(full.height(), kMinRowsHeight)};
    }
    QSize sizeHint() const override {
        if (!widget())
            return QScrollArea::sizeHint();
        const QSize rows = widget()->sizeHint();
        return {rows.width() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
                rows.height() + 2 * frameWidth()};
    }
};

} // namespace

CKelSetUpPage::CKelSetUpPage(SetupSource& source, const PageDescriptor& page, bool editMode,
                             QWidget* parent)
    : CKelSetUpPage(source, std::make_unique<KelSetUpPage>(source, page, editMode), parent) {}

CKelSetUpPage::CKelSetUpPage(SetupSource& source, std::unique_ptr<KelSetUpPage> logic,
                             QWidget* parent)
    : CPageHost(source, std::move(logic), false, parent) {
    // Long pages (levels, inputs, outputs) scroll instead of making the sheet taller than the
    // screen.
    auto* scroll = new RowsScrollArea;
    scroll_ = scroll;
    scroll->setWidget(rows_);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(scroll, 1);
    liveColumn_ = new QVBoxLayout;
    layout->addLayout(liveColumn_);
    Render();
}

void CKelSetUpPage::AddLivePart(QWidget* part) {
    liveColumn_->addWidget(part);
}

void CKelSetUpPage::Render() {
    CPageHost::Render();
    // The rows' texts decide their width; the scroll area asks for it anew.
    scroll_->updateGeometry();
}

} // namespace quarnex
