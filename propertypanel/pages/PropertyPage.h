#pragma once
// One page of the property panel's notebook: it keeps its own state, decides with the plain
// functions of its rules and serves its share of the panel's handlers. The panel, which does the
// frame, fills the page when it is shown, hands it apply and cancel, tells it when it is left or
// the device changes, and forwards its handler slots to it.

#include <functional>

#include "propertypanel/pages/PagePart.h"

namespace frm {

class PropertyPage : public PagePart {
public:
    // What apply made of the page's edits.
    struct Applied {
        // False when the device refused or a refusal was shown: the page is filled again.
        bool success = true;
        // The page could not be applied at all (already reported): edits, buttons and panel stay.
        bool stopped = false;
        // The device restarted to take the edits: the panel closes.
        bool closeAfterwards = false;
    };
    using AppliedHandler = std::function<void(const Applied& applied)>;

    using PagePart::PagePart;

    // Shows the device's values.
    virtual void fill() = 0;
    // Writes the page's edits and hands what came of them to `done` on the window's thread; a page
    // without settings of the device writes nothing and succeeds at once.
    virtual void apply(AppliedHandler done) { done(Applied()); }
    // Cancel filled the page again; what else the page drops.
    virtual void cancel() {}
    // The operator leaves the page; the work it queued ends with it.
    virtual void leave() {}
    // The device's state changed while the page shows.
    virtual void refresh() {}
    // The panel shows another device than the one it showed last.
    virtual void deviceChanged() {}
    // The panel lets go of the device: the page lets go of what it holds of it.
    virtual void release() {}
};

}  // namespace frm
