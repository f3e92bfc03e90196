#pragma once
// A client of the accessibility interfaces, as a screen reader is: the object behind a window's
// client area, in this process or another.
#include <windows.h>

#include <oleacc.h>

#include <string>

inline VARIANT ChildId(LONG id) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = id;
    return v;
}

// Released on scope exit. Texts read "(none)" and numbers -1 where the object gives none.
class Accessible {
  public:
    explicit Accessible(HWND window) {
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object_));
    }
    ~Accessible() {
        if (object_) object_->Release();
    }
    Accessible(const Accessible&) = delete;
    Accessible& operator=(const Accessible&) = delete;
    IAccessible* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    std::wstring Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*),
                      LONG id = CHILDID_SELF) const {
        BSTR text = nullptr;
        std::wstring result = L"(none)";
        if ((object_->*get)(ChildId(id), &text) == S_OK && text)
            result.assign(text, SysStringLen(text));
        SysFreeString(text);
        return result;
    }
    std::wstring Name(LONG id = CHILDID_SELF) const { return Text(&IAccessible::get_accName, id); }
    std::wstring Value() const { return Text(&IAccessible::get_accValue); }
    LONG Role(LONG id = CHILDID_SELF) const { return Number(&IAccessible::get_accRole, id); }
    LONG State(LONG id = CHILDID_SELF) const { return Number(&IAccessible::get_accState, id); }
    LONG Count() const {
        LONG n = -1;
        object_->get_accChildCount(&n);
        return n;
    }

  private:
    LONG Number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), LONG id) const {
        VARIANT v;
        VariantInit(&v);
        if ((object_->*get)(ChildId(id), &v) != S_OK || V_VT(&v) != VT_I4) return -1;
        return V_I4(&v);
    }
    IAccessible* object_ = nullptr;
};
