#pragma once

namespace quarnex {

// A page of a tabbed window that works only while it is in front (a show-mode refresh, live
// values): the window activates the page that comes to the front and deactivates the one it
// leaves, whatever kind of page it is.
class TabPage {
public:
    virtual ~TabPage() = default;
    virtual void Activate() = 0;
    virtual void Deactivate() = 0;
};

} // namespace quarnex
