#include "message_plan.hpp"

#include <algorithm>
#include <bit>
#include <map>

namespace glyph8::output::detail {

namespace {

// The columns a display shows, cut where its characters start.
pieces cut(const std::vector<std::uint8_t>& columns, const std::vector<std::size_t>& starts) {
    pieces p;
    std::map<std::vector<std::uint8_t>, std::size_t> seen;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : columns.size();
        if (end == starts[i]) {
            continue;  // a mark that does not advance: its ink is in its neighbour's piece
        }
        std::vector<std::uint8_t> piece(columns.begin() + static_cast<std::ptrdiff_t>(starts[i]),
                                        columns.begin() + static_cast<std::ptrdiff_t>(end));
        const auto [it, added] = seen.emplace(std::move(piece), seen.size());
        if (added) {
            p.starts.push_back(p.columns.size());
            p.columns.insert(p.columns.end(), it->first.begin(), it->first.end());
        }
        p.message.push_back(it->second);
    }
    p.starts.push_back(p.columns.size());
    return p;
}

// The sketch counts pieces, their columns and lines in 16 bits.
constexpr std::size_t most_counted = 65535;

}  // namespace

message_plan plan_message(const message_strip& strip, const matrix_settings& m) {
    message_plan plan;
    const frames f(strip, m);
    plan.cut = cut(f.shown_columns(), f.shown_starts());
    plan.lines = f.pages();
    const pieces& p = plan.cut;
    plan.data = p.columns.size() + 2 * p.starts.size() +
                p.message.size() * (p.wide_index() ? 2 : 1) + plan.lines.size();
    const display& d = *m.shown_on;
    const arduino_board& board = *m.arduino;
    const code_cost cost = board.name == "mega" ? d.mega_cost : d.uno_cost;
    plan.flash = cost.flash + plan.data;
    // A paging panel streams its screens from flash and keeps no frame.
    const bool frame = !(m.panel() && m.mode == motion::page);
    plan.ram = cost.ram + (frame ? d.ram_per_column * static_cast<std::size_t>(m.columns()) : 0);
    const std::string needs = "the sketch needs about " + std::to_string(plan.flash) +
                              " bytes of flash and " + std::to_string(plan.ram) + " of RAM; ";
    const std::string shorten = " (shorten the message or use fewer distinct characters)";
    if (plan.flash > board.flash || plan.ram > board.ram) {
        plan.refusal = needs + "an " + std::string(board.title) + " has " +
                       std::to_string(board.flash) + " and " + std::to_string(board.ram) + shorten;
    } else if (plan.data + cost.flash > board.data_reach) {
        plan.refusal = needs + "its message takes " + std::to_string(plan.data) +
                       " bytes, and a sketch reads its data only from the first " +
                       std::to_string(board.data_reach / 1024) + " KiB of flash" + shorten;
    }
    plan.counts_fit = p.message.size() <= most_counted && p.columns.size() <= most_counted &&
                      plan.lines.size() <= most_counted;
    if (plan.refusal.empty() && !plan.counts_fit) {
        plan.refusal = "the message has more than " + std::to_string(most_counted) +
                       " characters, distinct columns or lines, more than a sketch counts" +
                       shorten;
    }
    return plan;
}

message_tables tables_of(const message_plan& plan, const matrix_settings& m) {
    const pieces& p = plan.cut;
    message_tables t;
    t.piece_columns = p.columns;
    for (const std::size_t s : p.starts) {
        t.piece_start.push_back(static_cast<std::uint16_t>(s));
    }
    for (const std::size_t i : p.message) {
        t.message.push_back(static_cast<std::uint16_t>(i));
        t.message_columns += static_cast<std::uint32_t>(p.starts[i + 1] - p.starts[i]);
    }
    if (m.mode == motion::page) {
        for (const page& l : plan.lines) {
            t.line_width.push_back(static_cast<std::uint8_t>(l.width));
        }
    }
    return t;
}

// Colour LEDs draw about 20 mA a channel at full brightness, and about 1 mA
// each for their own chip, lit or not. The brightest frame (the power-up
// pattern among them) must stay within the budget, so the colour is scaled
// down as far as it needs to be.
led_colour colour_for(const message_strip& strip, const matrix_settings& m) {
    constexpr double channel_ma = 20.0;
    constexpr double chip_ma = 1.0;
    led_colour c;
    const std::size_t leds = static_cast<std::size_t>(m.columns()) * glyph_side;
    std::size_t pattern = 0;
    for (const std::uint8_t b : test_arrow) {
        pattern += static_cast<std::size_t>(std::popcount(b));
    }
    c.lit = std::max(frames(strip, m).most_lit(), pattern);
    const unsigned rgb[3] = {(m.colour >> 16) & 0xFF, (m.colour >> 8) & 0xFF, m.colour & 0xFF};
    const double per_led = (rgb[0] + rgb[1] + rgb[2]) / 255.0 * channel_ma;
    const double idle = chip_ma * static_cast<double>(leds);
    const double budget = m.max_current_ma;
    c.idle_ma = static_cast<int>(idle);
    if (idle >= budget) {
        c.refusal = std::to_string(m.modules) + " panels draw about " + std::to_string(c.idle_ma) +
                    " mA even when dark, more than --max-current " +
                    std::to_string(m.max_current_ma);
        return c;
    }
    const double wanted = idle + per_led * static_cast<double>(c.lit);
    const double scale = wanted <= budget ? 1.0 : (budget - idle) / (wanted - idle);
    for (int i = 0; i < 3; ++i) {
        c.rgb[i] = static_cast<unsigned>(rgb[i] * scale);
    }
    c.dimmed = scale < 1.0;
    const double drawn =
        idle + (c.rgb[0] + c.rgb[1] + c.rgb[2]) / 255.0 * channel_ma * static_cast<double>(c.lit);
    c.drawn_ma = static_cast<int>(drawn + 0.5);
    return c;
}

}  // namespace glyph8::output::detail
