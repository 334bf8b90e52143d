#include "glyph8/form1.hpp"

#include <algorithm>
#include <stdexcept>

namespace glyph8::form {

namespace {

std::string_view describe_control(const capture_error& error) {
    if (error.control == control_interface::picture_box) {
        return "圖片框 pic";
    }
    return error.op == operation::read_text ? "輸入框 Text2" : "輸出框 Text1";
}

std::string_view describe_operation(operation op) {
    switch (op) {
        case operation::set_scale_mode:
            return "無法將座標單位設為像素";
        case operation::set_font_size:
            return "無法設定字型大小";
        case operation::clear:
            return "無法清除畫面";
        case operation::set_current_x:
        case operation::set_current_y:
            return "無法設定繪製位置";
        case operation::read_text:
            return "無法讀取文字";
        case operation::print:
            return "無法繪製文字";
        case operation::point:
            return "無法讀取像素";
        case operation::write_text:
            return "無法寫入文字";
    }
    return "操作失敗";
}

std::string_view describe_status(status s) {
    switch (s) {
        case status::invalid_value:
            return "值無效";
        case status::unsupported:
            return "不支援";
        case status::out_of_memory:
            return "記憶體不足";
        case status::ok:
        case status::failed:
            break;
    }
    return "操作失敗";
}

}  // namespace

const control& find(std::string_view name) {
    for (const control& c : form1_controls) {
        if (c.name == name) {
            return c;
        }
    }
    throw std::out_of_range("Form1 has no control " + std::string(name));
}

std::array<const control*, 4> tab_order() {
    std::array<const control*, 4> order{};
    std::size_t n = 0;
    for (const control& c : form1_controls) {
        if (c.kind != control_kind::label) {
            order.at(n++) = &c;
        }
    }
    std::sort(order.begin(), order.end(),
              [](const control* a, const control* b) { return a->tab_index < b->tab_index; });
    return order;
}

std::string describe_failure(const capture_error& error) {
    std::string text = "擷取失敗：";
    text += describe_control(error);
    text += describe_operation(error.op);
    text += "（";
    text += describe_status(error.code);
    text += "）。輸出框保持不變。";
    return text;
}

}  // namespace glyph8::form
