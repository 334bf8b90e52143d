#include "form1_win32.hpp"

#include <stdexcept>
#include <string>
#include <vector>

#include "glyph8/default_face.hpp"
#include "glyph8/form1.hpp"
#include "glyph8/surface.hpp"
#include "glyph8/utf8.hpp"

namespace glyph8::win32 {

namespace {

// 0xRRGGBB as GDI's COLORREF, 0x00BBGGRR.
COLORREF colour_ref(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

constexpr wchar_t picture_class[] = L"glyph8.PictureBox";
constexpr wchar_t matrix_class[] = L"glyph8.MatrixView";

std::wstring wide(std::string_view text) {
    return wide_from_utf8(text);
}

// A text box over an edit control; Windows keeps its text as UTF-16.
class edit_box : public text_box {
  public:
    explicit edit_box(HWND edit) : edit_(edit) {}
    status read_text(std::string& out) override {
        const int length = GetWindowTextLengthW(edit_);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        const int got = GetWindowTextW(edit_, text.data(), length + 1);
        text.resize(static_cast<std::size_t>(got));
        out = utf8_from_wide(text);
        return status::ok;
    }
    status write_text(std::string_view text) override {
        return SetWindowTextW(edit_, wide(text).c_str()) ? status::ok : status::failed;
    }

  private:
    HWND edit_;
};

// The surface as the capture's picture box; drawing repaints the control.
class picture_adapter : public surface_box {
  public:
    picture_adapter(surface& s, HWND control) : surface_box(s), control_(control) {}
    status clear() override {
        const status s = surface_box::clear();
        InvalidateRect(control_, nullptr, FALSE);
        return s;
    }
    void Print(std::string_view text) override {
        surface_box::Print(text);
        InvalidateRect(control_, nullptr, FALSE);
    }

  private:
    HWND control_;
};

// The multi-line edit control asks for every key, Tab included; the output
// box passes Tab on instead, as every other box of the window does.
WNDPROC edit_proc = nullptr;
LRESULT CALLBACK output_proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
    LRESULT result = CallWindowProcW(edit_proc, hwnd, message, wp, lp);
    if (message == WM_GETDLGCODE) {
        const auto* msg = reinterpret_cast<const MSG*>(lp);
        if (msg != nullptr && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) &&
            (msg->wParam == VK_TAB || msg->wParam == L'\t')) {
            result &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
        }
    }
    return result;
}

}  // namespace

struct form1::impl {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HWND controls[form::form1_controls.size()] = {};
    HWND matrix = nullptr;
    HANDLE face_resource = nullptr;
    HFONT font = nullptr;
    surface pic{picture_width, picture_height, make_default_typeface()};
    glyph last;

    HWND control(std::string_view name) const {
        for (std::size_t i = 0; i < form::form1_controls.size(); ++i) {
            if (form::form1_controls[i].name == name) {
                return controls[i];
            }
        }
        return nullptr;
    }

    void click() {
        picture_adapter picture(pic, control("pic"));
        edit_box input(control("Text2"));
        edit_box output(control("Text1"));
        glyph read;
        if (const capture_result result = run_capture(picture, input, output, &read)) {
            const std::string text = form::describe_failure(*result) + "\n" + result->message();
            MessageBoxW(this->window, wide(text).c_str(), wide(form::title).c_str(),
                        MB_ICONWARNING | MB_OK);
            return;
        }
        last = read;
        InvalidateRect(matrix, nullptr, FALSE);
    }

    void paint_picture(HWND hwnd) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = pic.width();
        info.bmiHeader.biHeight = -pic.height();  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        // The raster is 0x00RRGGBB per pixel: a 32-bit DIB's own order.
        SetDIBitsToDevice(
            dc, 0, 0, static_cast<DWORD>(pic.width()), static_cast<DWORD>(pic.height()), 0, 0, 0,
            static_cast<UINT>(pic.height()), pic.pixels().data(), &info, DIB_RGB_COLORS);
        if (GetFocus() == hwnd) {
            RECT r;
            GetClientRect(hwnd, &r);
            DrawFocusRect(dc, &r);
        }
        EndPaint(hwnd, &ps);
    }

    void paint_matrix(HWND hwnd) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH frame = CreateSolidBrush(colour_ref(led_board));
        HBRUSH lit = CreateSolidBrush(colour_ref(led_lit));
        HBRUSH dark = CreateSolidBrush(colour_ref(led_dark));
        const RECT all{0, 0, form::matrix_size, form::matrix_size};
        FillRect(dc, &all, frame);
        for (int x = 0; x < glyph_side; ++x) {
            for (int y = 0; y < glyph_side; ++y) {
                const RECT cell{x * form::matrix_cell + 1, y * form::matrix_cell + 1,
                                (x + 1) * form::matrix_cell, (y + 1) * form::matrix_cell};
                FillRect(dc, &cell, last.ink(x, y) ? lit : dark);
            }
        }
        DeleteObject(frame);
        DeleteObject(lit);
        DeleteObject(dark);
        EndPaint(hwnd, &ps);
    }

    static LRESULT CALLBACK form_proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (message) {
            case WM_NCCREATE: {
                const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
                SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                                  reinterpret_cast<LONG_PTR>(create->lpCreateParams));
                break;
            }
            case WM_COMMAND:
                if (self != nullptr && LOWORD(wp) == form::find("Command1").id &&
                    HIWORD(wp) == BN_CLICKED) {
                    self->click();
                    return 0;
                }
                if (LOWORD(wp) == form::find("Text2").id && HIWORD(wp) == EN_MAXTEXT) {
                    MessageBoxW(hwnd, wide(form::input_cut_notice).c_str(),
                                wide(form::title).c_str(), MB_ICONINFORMATION | MB_OK);
                    return 0;
                }
                break;
            case DM_GETDEFID:  // Enter anywhere presses Command1
                return MAKELRESULT(form::find("Command1").id, DC_HASDEFID);
            case WM_CTLCOLORSTATIC:
                // The label on the window's own background.
                SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            case WM_DESTROY:
                PostQuitMessage(0);
                return 0;
            default:
                break;
        }
        return DefWindowProcW(hwnd, message, wp, lp);
    }

    static LRESULT CALLBACK child_proc(HWND hwnd, UINT message, WPARAM wp, LPARAM lp) {
        HWND top = GetAncestor(hwnd, GA_ROOT);
        auto* self = reinterpret_cast<impl*>(GetWindowLongPtrW(top, GWLP_USERDATA));
        switch (message) {
            case WM_PAINT:
                if (self == nullptr) {
                    break;
                }
                if (hwnd == self->matrix) {
                    self->paint_matrix(hwnd);
                } else {
                    self->paint_picture(hwnd);
                }
                return 0;
            case WM_LBUTTONDOWN:
                if (GetWindowLongW(hwnd, GWL_STYLE) & WS_TABSTOP) {
                    SetFocus(hwnd);
                }
                return 0;
            case WM_SETFOCUS:
            case WM_KILLFOCUS:
                InvalidateRect(hwnd, nullptr, FALSE);
                return 0;
            default:
                break;
        }
        return DefWindowProcW(hwnd, message, wp, lp);
    }

    void register_classes() {
        WNDCLASSEXW form{};
        form.cbSize = sizeof form;
        form.lpfnWndProc = form_proc;
        form.hInstance = instance;
        form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        form.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        form.lpszClassName = form1_class;
        form.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        WNDCLASSEXW child = form;
        child.lpfnWndProc = child_proc;
        child.hIcon = nullptr;
        child.lpszClassName = picture_class;
        WNDCLASSEXW view = child;
        view.lpszClassName = matrix_class;
        if (!RegisterClassExW(&form) || !RegisterClassExW(&child) || !RegisterClassExW(&view)) {
            throw std::runtime_error("cannot register the window classes");
        }
    }

    // The embedded outline face, private to this process.
    void load_font() {
        const face_source outline = default_face_sources()[default_outline_face];
        DWORD installed = 0;
        face_resource =
            AddFontMemResourceEx(const_cast<unsigned char*>(outline.data.data()),
                                 static_cast<DWORD>(outline.data.size()), nullptr, &installed);
        // 9 points at 96 dpi, the size of a desktop's captions.
        font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"Droid Sans Fallback");
    }

    void create(int show) {
        RECT outer{0, 0, form::client_width, form::client_height};
        const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
        AdjustWindowRectEx(&outer, style, FALSE, 0);
        window = CreateWindowExW(0, form1_class, wide(form::title).c_str(), style, CW_USEDEFAULT,
                                 CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                 nullptr, nullptr, instance, this);
        if (window == nullptr) {
            throw std::runtime_error("cannot create the window");
        }
        // Creation order is tab order: the focus-taking controls by tab
        // index, then the label.
        const auto tabbed = form::tab_order();
        std::vector<const form::control*> order(tabbed.begin(), tabbed.end());
        order.push_back(&form::find("Label1"));
        for (const form::control* c : order) {
            const wchar_t* cls = L"STATIC";
            DWORD cstyle = WS_CHILD | WS_VISIBLE;
            DWORD ex = 0;
            switch (c->kind) {
                case form::control_kind::label:
                    cstyle |= SS_LEFT | SS_CENTERIMAGE;
                    break;
                case form::control_kind::text_box:
                    cls = L"EDIT";
                    ex = WS_EX_CLIENTEDGE;
                    cstyle |= WS_TABSTOP | ES_AUTOHSCROLL;
                    if (c->multi_line) {
                        cstyle |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL;
                    }
                    break;
                case form::control_kind::picture_box:
                    cls = picture_class;
                    cstyle |= WS_TABSTOP;
                    break;
                case form::control_kind::command_button:
                    cls = L"BUTTON";
                    cstyle |= WS_TABSTOP | BS_DEFPUSHBUTTON;
                    break;
            }
            HWND hwnd = CreateWindowExW(ex, cls, wide(c->text).c_str(), cstyle, c->place.left,
                                        c->place.top, c->place.width, c->place.height, window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c->id)),
                                        instance, nullptr);
            if (hwnd == nullptr) {
                throw std::runtime_error("cannot create control " + std::string(c->name));
            }
            SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            controls[static_cast<std::size_t>(c - form::form1_controls.data())] = hwnd;
        }
        edit_proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            control("Text1"), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(output_proc)));
        // Drawing stops at the surface's edge anyway; a longer text is cut,
        // and EN_MAXTEXT tells the user.
        SendMessageW(control("Text2"), EM_SETLIMITTEXT, form::input_limit, 0);
        SendMessageW(control("Text1"), EM_SETLIMITTEXT, 0, 0);
        matrix = CreateWindowExW(0, matrix_class, L"", WS_CHILD | WS_VISIBLE, form::matrix_left,
                                 form::matrix_top, form::matrix_size, form::matrix_size, window,
                                 nullptr, instance, nullptr);
        ShowWindow(window, show);
        UpdateWindow(window);
        SetFocus(control("Text2"));
    }
};

form1::form1(HINSTANCE instance, int show) : impl_(std::make_unique<impl>()) {
    impl_->instance = instance;
    impl_->register_classes();
    impl_->load_font();
    impl_->create(show);
}

form1::~form1() {
    if (impl_->font != nullptr) {
        DeleteObject(impl_->font);
    }
    if (impl_->face_resource != nullptr) {
        RemoveFontMemResourceEx(impl_->face_resource);
    }
}

HWND form1::handle() const noexcept {
    return impl_->window;
}

int form1::run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Shift+Tab and Enter as in a dialog box.
        if (!IsDialogMessageW(impl_->window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace glyph8::win32
