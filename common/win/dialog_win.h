// The one way the programs run a dialog: a class derived from Dialog. RunModal (or Create,
// for a modeless one) passes the object to the dialog procedure through lParam, the
// procedure keeps it in the window's GWLP_USERDATA and hands every message from
// WM_INITDIALOG on to Handle, whose switch calls one OnXxx member per message. Messages
// before WM_INITDIALOG get the default answer.
#pragma once

#include <windows.h>

namespace camtools {

class Dialog {
public:
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs dialog template `templateId` modally over `owner`; returns what EndDialog was
    // given, or -1 when the dialog could not be made.
    INT_PTR RunModal(HINSTANCE instance, UINT templateId, HWND owner) {
        return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, Procedure,
                               reinterpret_cast<LPARAM>(this));
    }
    // Makes the dialog modeless (a benchmark drives its own message loop); null on failure.
    HWND Create(HINSTANCE instance, UINT templateId, HWND owner) {
        return CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), owner, Procedure,
                                  reinterpret_cast<LPARAM>(this));
    }
    HWND hwnd() const { return hwnd_; }

    // The object behind a dialog window made through RunModal or Create.
    template <typename Derived>
    static Derived* Of(HWND window) {
        return static_cast<Derived*>(
            reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    }

protected:
    Dialog() = default;
    // One message; returns the dialog procedure's answer (TRUE when handled, or the value
    // the message itself asks for, such as WM_QUERYDRAGICON's icon).
    virtual INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND hwnd_ = nullptr;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        Dialog* self;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<Dialog*>(lParam);
            self->hwnd_ = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        } else {
            self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        }
        return self ? self->Handle(message, wParam, lParam) : FALSE;
    }
};

}  // namespace camtools
