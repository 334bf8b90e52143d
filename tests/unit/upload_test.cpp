// The bootloader client against a bootloader played in memory, with the
// faults a real board or port has; the simulated Uno in tests/avr runs the
// real bootloader.
#include "glyph8/upload.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fake_bootloaders.hpp"
#include "glyph8/intel_hex.hpp"
#include "row_name.hpp"

namespace glyph8 {
namespace {

using testing_support::fake_board;
using testing_support::fake_mega;
using testing_support::image_of;

struct run_result {
    upload::problem problem;
    upload::outcome outcome;
    std::uint64_t elapsed_ms = 0;
    std::uint32_t pages_done = 0, pages = 0;
};

// Drives the client as a front end does, with a clock that moves by what it
// is told to wait when nothing comes.
template <class Board>
run_result drive(Board& board, const upload::request& what) {
    upload::client client(what);
    std::uint64_t now = 1000;
    auto a = client.advance(now, {});
    std::vector<std::uint8_t> answer;
    int steps = 0;
    while (!a.finished && ++steps < 100000) {
        if (a.reset) {
            board.reset();
        }
        answer = board.feed(a.send);
        now += answer.empty() ? a.wait_ms : 1;
        a = client.advance(now, answer);
    }
    return {client.problem(), client.result(), now - 1000, client.pages_done(), client.pages()};
}

TEST(Upload, WritesEveryPageAndReadsItBack) {
    fake_board board;
    const auto image = image_of(1000);  // 8 pages, the last one short
    const auto r = drive(board, {upload::uno, 0, image, upload::mode::write});
    ASSERT_FALSE(r.problem) << r.problem.message;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), board.flash.begin()));
    // The short page is padded as erased flash.
    EXPECT_EQ(board.flash[1000], 0xFF);
    EXPECT_EQ(r.pages, 16u);
    EXPECT_EQ(r.pages_done, 16u);
}

TEST(Upload, WritesABlockAloneAndLeavesTheRest) {
    fake_board board;
    const auto image = image_of(0x2000);
    ASSERT_FALSE(drive(board, {upload::uno, 0, image, upload::mode::write}).problem);
    const std::vector<std::uint8_t> block(128, 0x5A);
    const auto r = drive(board, {upload::uno, 0x1000, block, upload::mode::write});
    ASSERT_FALSE(r.problem) << r.problem.message;
    EXPECT_EQ(r.pages, 2u);
    for (std::size_t i = 0; i < image.size(); ++i) {
        const bool in_block = i >= 0x1000 && i < 0x1080;
        ASSERT_EQ(board.flash[i], in_block ? 0x5A : image[i]) << i;
    }
}

// A program and its block: the block's pages alone when the program is
// there already, everything when any byte of it differs; one session.
TEST(Upload, UpdatesTheBlockAloneWhenTheProgramIsThere) {
    struct row {
        const char* name;
        std::uint32_t program_differs_at;  // ~0u: the board holds the program
        std::size_t written;               // pages
    };
    const row rows[] = {
        {"program_there", ~0u, 2},
        {"first_byte_differs", 0, 10},
        {"last_byte_differs", 0x3FF, 10},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        fake_board board;
        auto image = image_of(0x400 + 200);  // 8 pages of program, a block of 2
        ASSERT_FALSE(drive(board, {upload::uno, 0, image, upload::mode::write}).problem);
        if (r.program_differs_at != ~0u) {
            board.flash[r.program_differs_at] ^= 0x10;
        }
        board.written.clear();
        image[0x400 + 7] ^= 0xFF;  // a new message
        const int resets = board.resets;
        const auto u = drive(board, {upload::uno, 0, image, upload::mode::update, 0x400});
        ASSERT_FALSE(u.problem) << u.problem.message;
        EXPECT_EQ(u.outcome.same, r.program_differs_at == ~0u);
        EXPECT_EQ(board.written.size(), r.written);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), board.flash.begin()));
        EXPECT_EQ(board.resets, resets + 1);
        EXPECT_EQ(u.pages_done, u.pages);
    }
}

TEST(Upload, ComparesWithoutWriting) {
    fake_board board;
    const auto image = image_of(600);
    ASSERT_FALSE(drive(board, {upload::uno, 0, image, upload::mode::write}).problem);
    auto same = drive(board, {upload::uno, 0, image, upload::mode::compare});
    ASSERT_FALSE(same.problem) << same.problem.message;
    EXPECT_TRUE(same.outcome.same);

    auto changed = image;
    changed[300] ^= 0x80;
    const auto before = board.flash;
    const auto differs = drive(board, {upload::uno, 0, changed, upload::mode::compare});
    ASSERT_FALSE(differs.problem) << differs.problem.message;
    EXPECT_FALSE(differs.outcome.same);
    EXPECT_EQ(differs.outcome.difference, 300u);
    EXPECT_EQ(board.flash, before);
}

struct failure_case {
    const char* name;
    void (*set_up)(fake_board&);
    std::uint32_t address;
    std::size_t size;
    upload::error expected;
    const char* said;  // part of the message
};

class Fails : public testing::TestWithParam<failure_case> {};

TEST_P(Fails, WithATypedProblemAndAMessage) {
    fake_board board;
    GetParam().set_up(board);
    const auto image = image_of(GetParam().size);
    const auto r = drive(board, {upload::uno, GetParam().address, image, upload::mode::write});
    EXPECT_EQ(r.problem.kind, GetParam().expected) << r.problem.message;
    EXPECT_NE(r.problem.message.find(GetParam().said), std::string::npos) << r.problem.message;
    if (r.problem.kind == upload::error::no_answer) {
        EXPECT_LE(r.elapsed_ms, upload::sync_give_up_ms);
        EXPECT_GE(r.elapsed_ms, upload::sync_give_up_ms - 1000);
        EXPECT_GE(board.resets, 3) << "the board is reset again between tries";
    }
    if (r.problem.kind == upload::error::verify_mismatch) {
        EXPECT_EQ(r.problem.address, 0x123u);
    }
    if (r.problem.kind == upload::error::signature_mismatch) {
        EXPECT_EQ(r.problem.found, board.signature);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Upload, Fails,
    testing::Values(
        failure_case{"nothing_answers", [](fake_board& b) { b.silent = true; }, 0, 256,
                     upload::error::no_answer, "no bootloader answered"},
        failure_case{"a_mega",
                     [](fake_board& b) {
                         b.signature = {0x1E, 0x98, 0x01};
                     },
                     0, 256, upload::error::signature_mismatch, "ATmega2560 (signature 1E 98 01)"},
        failure_case{"an_unknown_mcu",
                     [](fake_board& b) {
                         b.signature = {0x1E, 0x11, 0x22};
                     },
                     0, 256, upload::error::signature_mismatch, "unknown MCU"},
        failure_case{"a_byte_that_does_not_stick", [](fake_board& b) { b.corrupt = 0x123; }, 0,
                     1024, upload::error::verify_mismatch, "0x0123"},
        failure_case{"answers_that_are_not_the_protocol", [](fake_board& b) { b.garbage = true; },
                     0, 256, upload::error::no_answer, "no bootloader answered"},
        failure_case{"falls_silent_in_the_middle", [](fake_board& b) { b.answers_left = 9; }, 0,
                     2048, upload::error::timed_out, "stopped answering while"},
        failure_case{"out_of_step_after_the_sync", [](fake_board& b) { b.doubled = true; }, 0, 256,
                     upload::error::not_in_sync, "more than asked"},
        failure_case{"not_at_a_page", [](fake_board&) {}, 0x40, 256, upload::error::bad_request,
                     "not at the start of a page"},
        failure_case{"over_the_bootloader", [](fake_board&) {}, 0x7D80, 256,
                     upload::error::bad_request, "below its bootloader"},
        failure_case{"nothing_to_write", [](fake_board&) {}, 0, 0, upload::error::bad_request,
                     "nothing to write"}),
    testing_support::row_name{});

struct tolerated_case {
    const char* name;
    void (*set_up)(fake_board&);
};

class Tolerates : public testing::TestWithParam<tolerated_case> {};

TEST_P(Tolerates, AndStillWrites) {
    fake_board board;
    GetParam().set_up(board);
    const auto image = image_of(512);
    const auto r = drive(board, {upload::uno, 0, image, upload::mode::write});
    ASSERT_FALSE(r.problem) << r.problem.message;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), board.flash.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Upload, Tolerates,
    testing::Values(tolerated_case{"a_sketch_talking_before_the_reset",
                                   [](fake_board& b) {
                                       b.before_sync = {0x14, 'H', 'i', 0x10, '\n'};
                                   }},
                    tolerated_case{"late_answers_to_early_syncs",
                                   [](fake_board& b) { b.extra_sync_answers = 2; }}),
    testing_support::row_name{});

TEST(UploadMega, WritesAboveTheFirst128KiBAndReadsItBack) {
    fake_mega board;
    // Past 128 KiB, where the load address needs its extended byte.
    const auto image = image_of(0x30000 + 1000);
    const auto r = drive(board, {upload::mega2560, 0, image, upload::mode::write});
    ASSERT_FALSE(r.problem) << r.problem.message;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), board.flash.begin()));
    EXPECT_EQ(board.flash[image.size()], 0xFF);
    EXPECT_EQ(r.pages, 2 * 772u);  // pages of 256 bytes, written and read back
    const std::span<const std::uint8_t> high(image.data() + 0x30000, image.size() - 0x30000);
    const auto same = drive(board, {upload::mega2560, 0x30000, high, upload::mode::compare});
    EXPECT_TRUE(same.outcome.same);
}

struct mega_failure_case {
    const char* name;
    void (*set_up)(fake_mega&);
    upload::error expected;
    const char* said;
};

class MegaFails : public testing::TestWithParam<mega_failure_case> {};

TEST_P(MegaFails, WithATypedProblemAndAMessage) {
    fake_mega board;
    GetParam().set_up(board);
    const auto image = image_of(600);
    const auto r = drive(board, {upload::mega2560, 0, image, upload::mode::write});
    EXPECT_EQ(r.problem.kind, GetParam().expected) << r.problem.message;
    EXPECT_NE(r.problem.message.find(GetParam().said), std::string::npos) << r.problem.message;
}

INSTANTIATE_TEST_SUITE_P(
    UploadMega, MegaFails,
    testing::Values(mega_failure_case{"an_uno_mcu",
                                      [](fake_mega& b) {
                                          b.signature = {0x1E, 0x95, 0x0F};
                                      },
                                      upload::error::signature_mismatch,
                                      "ATmega328P (signature 1E 95 0F), not the ATmega2560"},
                    mega_failure_case{"a_byte_that_does_not_stick",
                                      [](fake_mega& b) { b.corrupt = 0x1FF; },
                                      upload::error::verify_mismatch, "flash at 0x01FF"},
                    mega_failure_case{"messages_that_do_not_add_up",
                                      [](fake_mega& b) { b.bad_checksums = true; },
                                      upload::error::no_answer, "no bootloader answered"}),
    testing_support::row_name{});

TEST(UploadMega, WritesNoBlockAlone) {
    fake_mega board;
    const auto block = image_of(256);
    const auto r = drive(board, {upload::mega2560, 0x800, block, upload::mode::write});
    EXPECT_EQ(r.problem.kind, upload::error::bad_request) << r.problem.message;
    EXPECT_NE(r.problem.message.find("from address 0"), std::string::npos) << r.problem.message;
    const auto compared = drive(board, {upload::mega2560, 0x800, block, upload::mode::compare});
    EXPECT_FALSE(compared.problem) << compared.problem.message;
    EXPECT_FALSE(compared.outcome.same);
}

TEST(UploadMega, AnUnoBootloaderIsNoMegaBootloader) {
    fake_board uno;
    const auto image = image_of(256);
    const auto r = drive(uno, {upload::mega2560, 0, image, upload::mode::write});
    EXPECT_EQ(r.problem.kind, upload::error::no_answer) << r.problem.message;
}

// Intel HEX, read back by the reader here; avr-objcopy reads it in
// tests/avr.
struct hex_case {
    const char* name;
    std::uint32_t address;
    std::size_t size;
    output::hex_addressing addressing;
    std::vector<std::string> records;  // how some lines must start
};

class IntelHex : public testing::TestWithParam<hex_case> {};

TEST_P(IntelHex, WritesRecordsThatReadBack) {
    const auto bytes = image_of(GetParam().size);
    std::string text;
    output::write_intel_hex(text, GetParam().address, bytes, GetParam().addressing);
    // Each given record starts a line.
    for (const auto& start : GetParam().records) {
        EXPECT_NE(("\n" + text).find("\n" + start), std::string::npos) << start << "\n" << text;
    }
    EXPECT_TRUE(text.ends_with(":00000001FF\n"));
    output::flash_image back;
    std::string why;
    ASSERT_TRUE(output::read_intel_hex(text, back, why)) << why;
    EXPECT_EQ(back.address, GetParam().address);
    EXPECT_EQ(back.bytes, bytes);
    for (std::size_t at = 0; (at = text.find(':', at)) != std::string::npos; ++at) {
        const auto count = std::stoul(text.substr(at + 1, 2), nullptr, 16);
        EXPECT_LE(count, 16u);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, IntelHex,
                         testing::Values(hex_case{"first_record",
                                                  0,
                                                  20,
                                                  output::hex_addressing::linear,
                                                  {":1000000000070E151C232A31383F464D545B6269A8"}},
                                         hex_case{"across_64k_linear",
                                                  0xFFF8,
                                                  24,
                                                  output::hex_addressing::linear,
                                                  {":08FFF800", ":020000040001F9", ":10000000"}},
                                         hex_case{"across_64k_segment",
                                                  0xFFF8,
                                                  24,
                                                  output::hex_addressing::segment,
                                                  {":020000020FFFEE", ":10000800", ":08001800"}},
                                         hex_case{"high_in_a_mega",
                                                  0x3E000,
                                                  40,
                                                  output::hex_addressing::linear,
                                                  {":020000040003F7", ":10E00000"}}),
                         testing_support::row_name{});

TEST(IntelHexRead, ALaterRecordForTheSameAddressWinsAndGapsAreErased) {
    output::flash_image image;
    std::string why;
    ASSERT_TRUE(output::read_intel_hex(":0100030011EB\n:0100000055AA\n:0100030022DA\n:00000001FF\n",
                                       image, why))
        << why;
    EXPECT_EQ(image.address, 0u);
    EXPECT_EQ(image.bytes, (std::vector<std::uint8_t>{0x55, 0xFF, 0xFF, 0x22}));
}

// What the reader refuses, and the line and reason it gives.
struct bad_hex_case {
    const char* name;
    std::string text;
    std::string why;
};

class IntelHexRefused : public testing::TestWithParam<bad_hex_case> {};

TEST_P(IntelHexRefused, SaysWhereAndWhy) {
    output::flash_image image{7, {1, 2, 3}};
    std::string why;
    EXPECT_FALSE(output::read_intel_hex(GetParam().text, image, why));
    EXPECT_EQ(why, GetParam().why);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, IntelHexRefused,
    testing::Values(
        bad_hex_case{"no_colon", "00000001FF\n", "line 1: not an Intel HEX record"},
        bad_hex_case{"odd_digits", ":00000001F\n", "line 1: not an Intel HEX record"},
        bad_hex_case{"not_hex", ":0100000G00FF\n:00000001FF\n", "line 1: not a hexadecimal digit"},
        bad_hex_case{"short_data", "\n:0200000000FE\n:00000001FF\n",
                     "line 2: the length does not match the record"},
        bad_hex_case{"checksum", ":0100000055AB\n:00000001FF\n", "line 1: wrong checksum"},
        bad_hex_case{"address_record_of_one_byte", ":0100000400FB\n:00000001FF\n",
                     "line 1: an address record of the wrong length"},
        bad_hex_case{"record_type_6", ":00000006FA\n:00000001FF\n",
                     "line 1: an unknown record type"},
        bad_hex_case{"no_end", ":0100000055AA\n", "no end-of-file record"},
        // A byte at 0 and one at 4 GiB - 1: the image's size wrapped to 0
        // and the bytes were written past its end.
        bad_hex_case{"bytes_4_gib_apart",
                     ":0100000055AA\n:02000004FFFFFC\n:01FFFF0055AC\n:00000001FF\n",
                     "its bytes span more than 1 MiB, more than any board's flash"}),
    testing_support::row_name{});

}  // namespace
}  // namespace glyph8
