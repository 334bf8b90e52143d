// Form1 as data: the main window's controls with their names, places,
// texts and tab order, its title and size, the place of the enlarged 8x8
// view, and the window's wording of a failed capture.
//
// Both windows, Qt's and the Win32 one, build Form1 from this description
// and their tests check against it, so the two cannot drift apart. Places
// are pixels at 96 per inch; texts are UTF-8. No GUI toolkit here.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "glyph8/capture.hpp"

namespace glyph8::form {

enum class control_kind : unsigned char { label, text_box, picture_box, command_button };

struct rect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct control {
    std::string_view name;
    control_kind kind;
    rect place;
    int tab_index;          // a label's tab index is kept, but it takes no focus
    std::string_view text;  // caption or initial text
    int id;                 // a control identifier, for toolkits that number controls
    bool multi_line;        // a text box of several lines
};

inline constexpr std::array<control, 5> form1_controls{{
    {"Label1", control_kind::label, {24, 24, 81, 33}, 3, "請輸入文字", 101, false},
    {"Text2", control_kind::text_box, {120, 16, 81, 33}, 4, "6", 102, false},
    {"pic", control_kind::picture_box, {16, 64, picture_width, picture_height}, 0, "", 103, false},
    {"Text1", control_kind::text_box, {8, 128, 697, 97}, 1, "Text1", 104, true},
    {"Command1", control_kind::command_button, {8, 232, 81, 33}, 2, "計算輸出碼", 105, false},
}};

inline constexpr int client_width = 734;
inline constexpr int client_height = 270;
inline constexpr std::string_view title = "glyph8 — 8×8 點陣字碼產生器";
inline constexpr std::string_view matrix_tooltip = "8×8 預覽（第 1 至 8 列，第 0 至 7 行）";

// The input box holds at most this many characters: far more than can ever
// reach the picture box, few enough that the box stays quick to edit.
inline constexpr int input_limit = 100000;
inline constexpr std::string_view input_cut_notice =
    "輸入框最多可容納 100,000 個字；超出的部分沒有貼上。";
// Past this many characters the cursor stops blinking: each blink lays the
// whole line out again, and a window with nothing to do should use no CPU.
inline constexpr int steady_cursor_length = 10000;

// The enlarged view: 8 x 8 cells in the free area right of the input box.
inline constexpr int matrix_left = 232;
inline constexpr int matrix_top = 12;
inline constexpr int matrix_cell = 12;
inline constexpr int matrix_size = 8 * matrix_cell + 1;

// The control called `name`; throws std::out_of_range for an unknown name.
const control& find(std::string_view name);

// The controls that take the keyboard focus, in tab order.
std::array<const control*, 4> tab_order();

// "擷取失敗：圖片框 pic無法讀取像素（操作失敗）。輸出框保持不變。"
std::string describe_failure(const capture_error& error);

}  // namespace glyph8::form
