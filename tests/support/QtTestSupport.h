#pragma once

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace quarnex::test {

// The one QApplication of a window test program (offscreen, from the test environment).
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "quarnex_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// Runs f on the modal dialog of type D once it is up (call before the code that opens it).
template <class D> void WhenModal(std::function<void(D&)> f) {
    QTimer::singleShot(0, [f] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        f(*dialog);
    });
}

} // namespace quarnex::test
