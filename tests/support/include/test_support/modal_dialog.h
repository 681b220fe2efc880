// Runs code that opens a modal dialog and acts on the dialog once it shows, for
// tests on the offscreen platform; a dialog nobody closes is closed after a
// deadline, so a failing test cannot hang.
#pragma once

#include <functional>

class QDialog;

namespace test_support {

// Calls `show`, which opens a modal dialog and returns when it closes, and
// runs `user` on the dialog once it is on screen. A dialog that `user` leaves
// open after a fatal test failure is closed, so a failing test cannot hang.
// Answers what `show` answered.
void RunWithDialog(const std::function<void()>& show, const std::function<void(QDialog&)>& user);

template <typename Show>
auto WithDialog(Show show, const std::function<void(QDialog&)>& user) -> decltype(show()) {
    decltype(show()) result{};
    RunWithDialog([&] { result = show(); }, user);
    return result;
}

} // namespace test_support
