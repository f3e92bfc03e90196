#include "common/NAccess.h"

#include <oleacc.h>

#include <new>
#include <string>

// ---- Run-time binding -----------------------------------------------------------------------
// Each entry point once: library, name, return type, parameters.
#define ACCESS_ENTRY_POINTS(X)                                                                     \
    X(Ole32, CoInitializeEx, HRESULT, void*, DWORD)                                                \
    X(OleAut32, SysAllocStringLen, BSTR, const OLECHAR*, UINT)                                     \
    X(OleAcc, LresultFromObject, LRESULT, REFIID, WPARAM, IUnknown*)                               \
    X(OleAcc, CreateStdAccessibleObject, HRESULT, HWND, LONG, REFIID, void**)

enum AccessLibrary { Ole32, OleAut32, OleAcc, AccessLibraryCount };
static constexpr const char* AccessLibraryNames[] = {"OLE32.DLL", "OLEAUT32.DLL", "OLEACC.DLL"};

#define ACCESS_FIELD(library, name, result, ...) result(WINAPI* name)(__VA_ARGS__);
static struct { ACCESS_ENTRY_POINTS(ACCESS_FIELD) } Api;
#undef ACCESS_FIELD

enum class Binding { NotTried, Ready, Missing };
static Binding AccessBinding = Binding::NotTried;
static DWORD ApartmentThread = 0; // the thread that joined a single-threaded apartment

// From the system folder only: the program's own folder (often Downloads) may hold any file of
// the same name.
static HMODULE LoadSystemLibrary(const char* name) {
    char folder[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    return LoadLibraryA((std::string(folder, n) + "\\" + name).c_str());
}

// The libraries stay loaded for the rest of the run: a client may hold objects until it ends.
// COM stays initialised on this thread for the same reason.
static bool BindAccess() {
    if (AccessBinding == Binding::NotTried) {
        AccessBinding = Binding::Missing;
        HMODULE libraries[AccessLibraryCount] = {};
        for (int i = 0; i < AccessLibraryCount; ++i)
            if (!(libraries[i] = LoadSystemLibrary(AccessLibraryNames[i]))) return false;
#define ACCESS_BIND(library, name, result, ...)                                                    \
    Api.name = reinterpret_cast<decltype(Api.name)>(                                               \
        reinterpret_cast<void*>(GetProcAddress(libraries[library], #name)));                       \
    if (!Api.name) return false;
        ACCESS_ENTRY_POINTS(ACCESS_BIND)
#undef ACCESS_BIND
        AccessBinding = Binding::Ready;
    }
    if (AccessBinding != Binding::Ready) return false;
    if (ApartmentThread == GetCurrentThreadId()) return true;
    // In a multi-threaded apartment clients would call in on other threads, while the objects
    // read the window's data on its own thread only: no answer there.
    if (FAILED(Api.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return false;
    ApartmentThread = GetCurrentThreadId();
    return true;
}

static constexpr char PressAction[] = "Press";
static constexpr int ButtonCaptionSize = 256;

static BSTR NewText(const char* text) {
    if (!text) return nullptr;
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    return Api.SysAllocStringLen(wide.c_str(), static_cast<UINT>(length - 1));
}

static void SetChild(VARIANT* v, LONG child) {
    V_VT(v) = VT_I4;
    V_I4(v) = child;
}

// ---- The list's object ----------------------------------------------------------------------

namespace {

// A list of lines (simple children with ids from 1; index = id - 1), or, without a list, a
// push button named by the window's text.
class TAccessibleObject final : public IAccessible {
  public:
    TAccessibleObject(HWND window, const TListSource* list) : window_(window), list_(list) {}
    TAccessibleObject(const TAccessibleObject&) = delete;
    TAccessibleObject& operator=(const TAccessibleObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IDispatch) && iid != __uuidof(IAccessible))
            return E_NOINTERFACE;
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: clients use the early-bound methods only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        // The window's own object (frame, scroll bars, this client area) is the parent.
        return Api.CreateStdAccessibleObject(window_, OBJID_WINDOW, __uuidof(IDispatch),
                                             reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        if (!Alive()) return RPC_E_DISCONNECTED;
        *count = Count();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        return Line(child) >= 0 ? S_FALSE : E_INVALIDARG; // simple elements, no objects
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        char caption[ButtonCaptionSize] = {};
        if (!list_) GetWindowTextA(window_, caption, sizeof caption);
        return Text(child, name, [&](int32_t line) {
            return !list_ ? caption : line < 0 ? list_->Name : list_->Text(line);
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return Text(child, value, [this](int32_t line) {
            const int32_t count = Count();
            return line < 0 && count > 0 ? list_->Text(count - 1) : nullptr;
        });
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return Nothing(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        V_VT(role) = VT_EMPTY;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (!Valid(child)) return E_INVALIDARG;
        SetChild(role, !list_            ? ROLE_SYSTEM_PUSHBUTTON
                       : Line(child) < 0 ? ROLE_SYSTEM_LIST
                                         : ROLE_SYSTEM_LISTITEM);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        V_VT(state) = VT_EMPTY;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (!Valid(child)) return E_INVALIDARG;
        LONG flags = list_ ? STATE_SYSTEM_READONLY : STATE_SYSTEM_FOCUSABLE;
        if (!list_ && Focused()) flags |= STATE_SYSTEM_FOCUSED;
        if (!list_ && !IsWindowEnabled(window_)) flags |= STATE_SYSTEM_UNAVAILABLE;
        const int32_t line = Line(child);
        if (!IsWindowVisible(window_)) flags |= STATE_SYSTEM_INVISIBLE;
        if (line >= 0 && !Shown(line)) flags |= STATE_SYSTEM_OFFSCREEN;
        SetChild(state, flags);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return Nothing(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = -1;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return Nothing(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_POINTER;
        V_VT(focus) = VT_EMPTY; // the strip never takes the focus
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (!Focused()) return S_FALSE;
        SetChild(focus, CHILDID_SELF);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_POINTER;
        V_VT(selection) = VT_EMPTY;
        return Alive() ? S_FALSE : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
        return Text(child, text, [this](int32_t) { return list_ ? nullptr : PressAction; });
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (!Valid(child)) return E_INVALIDARG;
        RECT box = {};
        const int32_t line = Line(child);
        if (line < 0)
            GetClientRect(window_, &box);
        else
            box = list_->ItemBox(line);
        MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&box), 2);
        *left = box.left;
        *top = box.top;
        *width = box.right - box.left;
        *height = box.bottom - box.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        if (!end) return E_POINTER;
        V_VT(end) = VT_EMPTY;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (!Valid(start)) return E_INVALIDARG;
        const int32_t count = Count(), line = Line(start);
        int32_t to = -1;
        if (line < 0 && direction == NAVDIR_FIRSTCHILD) to = 0;
        if (line < 0 && direction == NAVDIR_LASTCHILD) to = count - 1;
        if (line >= 0 && (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN)) to = line + 1;
        if (line >= 0 && (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP)) to = line - 1;
        if (to < 0 || to >= count) return S_FALSE;
        SetChild(end, to + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
        if (!hit) return E_POINTER;
        V_VT(hit) = VT_EMPTY;
        if (!Alive()) return RPC_E_DISCONNECTED;
        POINT at = {x, y};
        ScreenToClient(window_, &at);
        RECT client = {};
        GetClientRect(window_, &client);
        if (!PtInRect(&client, at)) return S_FALSE;
        SetChild(hit, CHILDID_SELF);
        for (int32_t line = list_ ? list_->FirstShown() : -1; Shown(line); ++line) {
            RECT box = list_->ItemBox(line);
            if (PtInRect(&box, at)) SetChild(hit, line + 1);
        }
        return S_OK;
    }
    // Posted: the click may open a modal window, which must not hold the caller's call.
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (list_) return DISP_E_MEMBERNOTFOUND;
        if (!Valid(child)) return E_INVALIDARG;
        if (!IsWindowEnabled(window_)) return E_FAIL;
        PostMessageA(window_, BM_CLICK, 0, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    ~TAccessibleObject() = default;

    // A client may keep the object after the window has gone; the lines go with the window.
    bool Alive() const { return IsWindow(window_) != 0; }
    bool Focused() const { return !list_ && GetFocus() == window_; }
    int32_t Count() const { return list_ ? list_->Count() : 0; }
    bool Valid(const VARIANT& child) const {
        return V_VT(&child) == VT_I4 && (V_I4(&child) == CHILDID_SELF || Line(child) >= 0);
    }
    // The line a child id names; -1 for the list itself or an id outside it.
    int32_t Line(const VARIANT& child) const {
        if (V_VT(&child) != VT_I4 || V_I4(&child) <= 0 || V_I4(&child) > Count()) return -1;
        return V_I4(&child) - 1;
    }
    bool Shown(int32_t line) const {
        if (line < 0 || line >= Count()) return false;
        RECT client = {}, box = list_->ItemBox(line), both = {};
        GetClientRect(window_, &client);
        return IntersectRect(&both, &client, &box) != 0;
    }
    template <class Pick> HRESULT Text(const VARIANT& child, BSTR* out, Pick pick) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        if (!Valid(child)) return E_INVALIDARG;
        const char* text = pick(Line(child));
        if (!text) return S_FALSE;
        *out = NewText(text);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT Nothing(const VARIANT& child, BSTR* out) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!Alive()) return RPC_E_DISCONNECTED;
        return Valid(child) ? S_FALSE : E_INVALIDARG;
    }

    volatile LONG refs_ = 1;
    HWND window_;
    const TListSource* list_;
};

} // namespace

static LRESULT AnswerObject(HWND window, WPARAM wParam, LPARAM lParam, const TListSource* list) {
    // The object id travels as a DWORD: on 64-bit systems lParam is not sign-extended.
    if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT || !BindAccess()) return 0;
    auto* object = new (std::nothrow) TAccessibleObject(window, list);
    if (!object) return 0;
    LRESULT answer = Api.LresultFromObject(__uuidof(IAccessible), wParam, object);
    object->Release(); // the answer holds its own reference
    return answer > 0 ? answer : 0;
}

LRESULT AnswerListObject(HWND window, WPARAM wParam, LPARAM lParam, const TListSource& source) {
    return AnswerObject(window, wParam, lParam, &source);
}

LRESULT AnswerButtonObject(HWND window, WPARAM wParam, LPARAM lParam) {
    return AnswerObject(window, wParam, lParam, nullptr);
}
