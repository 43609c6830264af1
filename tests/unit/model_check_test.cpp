// Random packet streams through the real pump, tracker, desktop list and
// window drag, checked after every packet against a small model of how the
// program should behave. The model is written from the rules alone and calls
// none of the program's helpers, so a fault shared by both can't hide.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "case_name.h"
#include "fakes.h"
#include "gesture/packet_pump.h"
#include "platform/host_platform.h"

namespace {

using fakes::PacketData;

constexpr std::int64_t INT32_LOW = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t INT32_HIGH = std::numeric_limits<std::int32_t>::max();
constexpr int ENTRY_COUNT = 4;

// ---------------------------------------------------------------------------
// The model.

enum class Kind { Swipe, Drag, Release, Other };
enum class Mode { Idle, Swipe, Drag };
enum class Action { None, BeginSwipe, AddSwipe, EndSwipe, BeginDrag, StepDrag };

// Written with division rather than masks, so that it is not the program's
// own test read back.
Kind KindOf(std::int32_t word) {
    const auto bits = static_cast<std::uint32_t>(word);
    if (bits % 4096 == 0x303) {
        return Kind::Swipe;
    }
    if (bits % 16 == 4) {
        return Kind::Drag;
    }
    return bits == 0 ? Kind::Release : Kind::Other;
}

struct Rule {
    Mode next;
    Action action;
};

// RULES[mode][kind]: what a packet of that kind does in that mode. Columns:
// swipe contact, drag contact, release, other.
constexpr Rule RULES[3][4] = {
    // Idle
    {{Mode::Swipe, Action::BeginSwipe}, {Mode::Drag, Action::BeginDrag}, {Mode::Idle, Action::None},
     {Mode::Idle, Action::None}},
    // Swipe
    {{Mode::Swipe, Action::AddSwipe}, {Mode::Swipe, Action::None}, {Mode::Idle, Action::EndSwipe},
     {Mode::Swipe, Action::None}},
    // Drag
    {{Mode::Drag, Action::None}, {Mode::Drag, Action::StepDrag}, {Mode::Idle, Action::None},
     {Mode::Drag, Action::None}},
};

std::int64_t Clamp(std::int64_t value) {
    return std::min(std::max(value, INT32_LOW), INT32_HIGH);
}

// The simulated OS keeps a window's size by 32-bit wrap-around of its far edges.
std::int32_t Wrap(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

struct ModelWindow {
    std::int64_t left;
    std::int64_t top;
    std::int64_t width;
    std::int64_t height;
    int parent;  // -1: top-level
    int entry;   // the desktop list entry it lives on
};

struct Model {
    std::vector<bool> made;  // per list entry
    Mode mode = Mode::Idle;
    std::int64_t sumX = 0;
    std::int64_t sumY = 0;
    int index = 0;
    int inputEntry = 0;  // the entry whose desktop is the input desktop
    int target = -1;
    std::int64_t cursorX = 0;
    std::int64_t cursorY = 0;
    std::vector<ModelWindow> windows;
    std::string lines;  // written by the last packet

    // What the stream has reached, so that a weak stream can't pass for a check.
    int rulesReached[3][4] = {};
    bool releasedAtThreshold = false;
    bool sumHeldAtLimit = false;
    bool movedAWindow = false;
    bool movedOntoMissing = false;

    static bool Contains(const ModelWindow& window, std::int64_t x, std::int64_t y) {
        return x >= window.left && x < Wrap(window.left + window.width) && y >= window.top &&
               y < Wrap(window.top + window.height);
    }

    // The top-level window under the cursor on the desktop the user sees.
    int WindowUnderCursor() const {
        for (int k = static_cast<int>(windows.size()) - 1; k >= 0; --k) {
            const ModelWindow& window = windows[static_cast<std::size_t>(k)];
            if (window.entry == inputEntry && Contains(window, cursorX, cursorY)) {
                int root = k;
                while (windows[static_cast<std::size_t>(root)].parent >= 0) {
                    root = windows[static_cast<std::size_t>(root)].parent;
                }
                return root;
            }
        }
        return -1;
    }

    void MoveTo(int entry, const char* line) {
        index = entry;
        if (made[static_cast<std::size_t>(entry)]) {
            inputEntry = entry;
        } else {
            movedOntoMissing = true;
        }
        lines += line;
    }

    void Apply(const PacketData& packet) {
        lines.clear();
        const auto read = [&packet](std::int32_t property, std::int32_t value) -> std::optional<std::int64_t> {
            if (packet.failingProperties.count(property) != 0) {
                return std::nullopt;
            }
            return value;
        };
        if (!read(PROP_CONTACT_WORD, packet.word)) {
            return;
        }
        const std::int64_t state = read(PROP_STATE, packet.state).value_or(0);
        const std::int64_t dx = read(PROP_DELTA_X, packet.dx).value_or(0);
        const std::int64_t dy = read(PROP_DELTA_Y, packet.dy).value_or(0);
        const int row = static_cast<int>(mode);
        const int column = static_cast<int>(KindOf(packet.word));
        const Rule rule = RULES[row][column];
        ++rulesReached[row][column];
        switch (rule.action) {
            case Action::None:
                break;
            case Action::BeginSwipe:
                lines += "STATE : " + std::to_string(state) + "\n";
                sumX = Clamp(dx);
                sumY = Clamp(dy);
                break;
            case Action::AddSwipe:
                sumHeldAtLimit = sumHeldAtLimit || sumX + dx != Clamp(sumX + dx) || sumY + dy != Clamp(sumY + dy);
                sumX = Clamp(sumX + dx);
                sumY = Clamp(sumY + dy);
                break;
            case Action::EndSwipe:
                lines += "RELEASE (" + std::to_string(sumX) + "," + std::to_string(sumY) + ") \n";
                releasedAtThreshold = releasedAtThreshold || sumX == 50;
                if (sumX > 50 && index > 0) {
                    MoveTo(index - 1, "SWIPE LEFT\n");
                } else if (sumX < 50 && index < ENTRY_COUNT - 1) {
                    MoveTo(index + 1, "SWIPE RIGHT\n");
                }
                break;
            case Action::BeginDrag:
                target = WindowUnderCursor();
                break;
            case Action::StepDrag:
                lines += "MOVE : " + std::to_string(dx) + ", " + std::to_string(dy) + "\n";
                if (target >= 0) {
                    movedAWindow = true;
                    ModelWindow& window = windows[static_cast<std::size_t>(target)];
                    window.left = Clamp(window.left + dx);
                    window.top = Clamp(window.top - dy);
                }
                cursorX = Clamp(cursorX + dx);
                cursorY = Clamp(cursorY - dy);
                break;
        }
        mode = rule.next;
    }
};

// ---------------------------------------------------------------------------
// The packet streams.

class Dice {
public:
    explicit Dice(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t Bits() { return engine_(); }
    // In [low, high].
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(engine_() % static_cast<std::uint64_t>(high - low + 1));
    }
    bool Chance(int percent) { return Between(0, 99) < percent; }
    template <typename T, std::size_t N>
    T Pick(const T (&choices)[N]) {
        return choices[static_cast<std::size_t>(Between(0, static_cast<std::int64_t>(N) - 1))];
    }

private:
    std::mt19937_64 engine_;
};

// Words of none of the three kinds, many of them one bit or one digit away from one.
constexpr std::uint32_t OTHER_WORDS[] = {0x0001, 0x0003, 0x0202, 0x0302, 0x0313, 0x0300, 0x1300, 0x1000,
                                         0x0F03, 0x0703, 0x0343, 0x1203, 0x0008, 0x80000000, 0xFFFFFFFF};
constexpr std::int32_t NEAR_THRESHOLD[] = {49, 50, 51, 0, -1, 1, 25, 100};
constexpr std::int32_t EXTREMES[] = {std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::min() + 1,
                                     std::numeric_limits<std::int32_t>::max(),
                                     std::numeric_limits<std::int32_t>::max() - 1};
constexpr TouchpadResult ODD_LOAD_RESULTS[] = {1, -1, static_cast<TouchpadResult>(0x8000FFFFu),
                                               static_cast<TouchpadResult>(0x80070057u)};

std::int32_t WordOf(Dice& dice, Kind kind) {
    switch (kind) {
        case Kind::Swipe:
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(dice.Bits() << 12) | 0x303u);
        case Kind::Drag:
            return static_cast<std::int32_t>((static_cast<std::uint32_t>(dice.Bits()) & ~0xFu) | 4u);
        case Kind::Release:
            return 0;
        case Kind::Other:
            break;
    }
    if (dice.Chance(60)) {
        return static_cast<std::int32_t>(dice.Pick(OTHER_WORDS));
    }
    for (;;) {
        const auto word = static_cast<std::int32_t>(static_cast<std::uint32_t>(dice.Bits()));
        if (KindOf(word) == Kind::Other) {
            return word;
        }
    }
}

std::int32_t MotionOf(Dice& dice) {
    const std::int64_t roll = dice.Between(0, 99);
    if (roll < 50) {
        return static_cast<std::int32_t>(dice.Between(-60, 60));
    }
    if (roll < 65) {
        return dice.Pick(NEAR_THRESHOLD);
    }
    if (roll < 80) {
        return static_cast<std::int32_t>(dice.Between(-100000, 100000));
    }
    if (roll < 90) {
        return dice.Pick(EXTREMES);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(dice.Bits()));
}

PacketData PacketOf(Dice& dice, Kind kind) {
    PacketData packet;
    packet.word = WordOf(dice, kind);
    packet.state = dice.Chance(50) ? static_cast<std::int32_t>(dice.Between(0, 15))
                                   : static_cast<std::int32_t>(static_cast<std::uint32_t>(dice.Bits()));
    packet.dx = MotionOf(dice);
    packet.dy = MotionOf(dice);
    for (const std::int32_t property : {PROP_CONTACT_WORD, PROP_STATE, PROP_DELTA_X, PROP_DELTA_Y}) {
        if (dice.Chance(property == PROP_CONTACT_WORD ? 2 : 5)) {
            packet.failingProperties.insert(property);
        }
    }
    const std::int64_t load = dice.Between(0, 99);
    if (load < 1) {
        packet.loadResult = TOUCHPAD_NO_PACKET;  // taken off the device, but the load reports none
    } else if (load < 4) {
        packet.loadResult = dice.Pick(ODD_LOAD_RESULTS);
    }
    return packet;
}

Kind AnyKind(Dice& dice) {
    return static_cast<Kind>(dice.Between(0, 3));
}

// Gestures as a hand makes them, with stray packets mixed in, and stretches
// of words of any kind.
void AppendSegment(Dice& dice, std::vector<PacketData>& stream) {
    const std::int64_t roll = dice.Between(0, 99);
    if (roll < 70) {
        const Kind contact = roll < 40 ? Kind::Swipe : Kind::Drag;
        const std::int64_t length = dice.Between(1, 8);
        for (std::int64_t k = 0; k < length; ++k) {
            stream.push_back(PacketOf(dice, dice.Chance(85) ? contact : AnyKind(dice)));
        }
        if (dice.Chance(90)) {
            stream.push_back(PacketOf(dice, Kind::Release));
        }
        return;
    }
    const std::int64_t length = dice.Between(1, 5);
    for (std::int64_t k = 0; k < length; ++k) {
        stream.push_back(PacketOf(dice, AnyKind(dice)));
    }
}

std::string Describe(const PacketData& packet) {
    std::ostringstream text;
    text << "word 0x" << std::hex << static_cast<std::uint32_t>(packet.word) << std::dec << " state " << packet.state
         << " dx " << packet.dx << " dy " << packet.dy << " load " << packet.loadResult << " failing {";
    for (const std::int32_t property : packet.failingProperties) {
        text << " 0x" << std::hex << property << std::dec;
    }
    text << " }";
    return text.str();
}

// ---------------------------------------------------------------------------
// The check.

struct ModelCase {
    std::string name;
    std::vector<bool> extraMade;
    std::uint64_t seed;
    int packets;
};

void PrintTo(const ModelCase& test, std::ostream* out) {
    *out << test.name;
}

// What std::cout receives, taken packet by packet.
class LineTap {
public:
    LineTap() : previous_(std::cout.rdbuf(&buffer_)) {}
    LineTap(const LineTap&) = delete;
    LineTap& operator=(const LineTap&) = delete;
    ~LineTap() {
        std::cout.rdbuf(previous_);
        std::cout.clear();
    }
    std::string Take() {
        std::string text = buffer_.str();
        buffer_.str("");
        return text;
    }

private:
    std::stringbuf buffer_;
    std::streambuf* previous_;
};

// A fresh simulated OS before the drag thread is started.
struct FreshWorld {
    FreshWorld() { host::Reset(); }
};

class ModelCheckTest : public ::testing::TestWithParam<ModelCase> {
protected:
    void SetUp() override {
        model.made = {true};
        desktops.handles = {host::StartingDesktop()};
        for (std::size_t k = 0; k < GetParam().extraMade.size(); ++k) {
            const std::wstring name = L"TALVEK" + std::to_wstring(k) + L"0";
            const bool made = GetParam().extraMade[k];
            desktops.handles.push_back(made ? os::CreateNamedDesktop(name.c_str(), os::GENERIC_ALL_ACCESS) : nullptr);
            model.made.push_back(made);
        }
        // Overlapping windows on every desktop made, some with a child on top.
        for (int entry = 0; entry < ENTRY_COUNT; ++entry) {
            if (!model.made[static_cast<std::size_t>(entry)]) {
                continue;
            }
            const int first = static_cast<int>(model.windows.size());
            for (int k = 0; k < 7; ++k) {
                ModelWindow window{dice.Between(0, 900), dice.Between(0, 700), dice.Between(20, 400),
                                   dice.Between(20, 300), -1, entry};
                if (k >= 5) {
                    window.parent = static_cast<int>(dice.Between(first, first + 4));
                }
                AddWindow(window);
            }
        }
        PlaceCursor();
        host::world().createPacket = [this]() -> TouchpadPacket* {
            if (!CheckConsumed() || createsLeft == 0) {
                return nullptr;
            }
            --createsLeft;
            return new fakes::FakePacket(ledger);
        };
        connection.api = &api;
        connection.device = &api.device;
    }

    void AddWindow(const ModelWindow& window) {
        model.windows.push_back(window);
        const os::WindowHandle parent =
            window.parent >= 0 ? host::WindowHandleOf(static_cast<std::size_t>(window.parent)) : nullptr;
        host::AddWindow(Rect(window), parent, desktops.handles[static_cast<std::size_t>(window.entry)]);
    }

    static os::Rect Rect(const ModelWindow& window) {
        return {Wrap(window.left), Wrap(window.top), Wrap(window.left + window.width),
                Wrap(window.top + window.height)};
    }

    // The user moving the mouse between gestures; sometimes off every window.
    void PlaceCursor() {
        model.cursorX = dice.Between(-50, 1300);
        model.cursorY = dice.Between(-50, 1000);
        host::world().cursor = {Wrap(model.cursorX), Wrap(model.cursorY)};
    }

    // Another program moving a window.
    void PlaceWindow() {
        const auto k = static_cast<std::size_t>(dice.Between(0, static_cast<std::int64_t>(model.windows.size()) - 1));
        model.windows[k].left = dice.Between(0, 900);
        model.windows[k].top = dice.Between(0, 700);
        host::world().windows[k].rect = Rect(model.windows[k]);
    }

    // Brings the model up to the packets the device has given out, checking
    // after each one. False once a difference is found.
    bool CheckConsumed() {
        const std::size_t consumed = stream.size() - api.device.queue.size();
        for (; applied < consumed && !failed; ++applied) {
            const PacketData& packet = stream[applied];
            if (packet.loadResult == TOUCHPAD_NO_PACKET) {
                continue;  // never handed to the tracker
            }
            model.Apply(packet);
            failed = !Matches();
        }
        return !failed;
    }

    bool Matches() {
        const std::string written = tap.Take();
        const os::Point cursor = host::world().cursor;
        std::string differences;
        if (written != model.lines) {
            differences += "\nlines written: \"" + written + "\" expected: \"" + model.lines + "\"";
        }
        if (static_cast<int>(tracker.mode) != ModeValue(model.mode)) {
            differences += std::string("\nmode: ") + GestureModeName(tracker.mode);
        }
        if (desktops.currentIndex != model.index) {
            differences += "\ndesktop index: " + std::to_string(desktops.currentIndex) + " expected " +
                           std::to_string(model.index);
        }
        if (host::world().inputDesktop != desktops.handles[static_cast<std::size_t>(model.inputEntry)]) {
            differences += "\ninput desktop is not entry " + std::to_string(model.inputEntry);
        }
        if (cursor.x != model.cursorX || cursor.y != model.cursorY) {
            differences += "\ncursor: (" + std::to_string(cursor.x) + "," + std::to_string(cursor.y) +
                           ") expected (" + std::to_string(model.cursorX) + "," + std::to_string(model.cursorY) + ")";
        }
        for (std::size_t k = 0; k < model.windows.size(); ++k) {
            const os::Rect actual = host::world().windows[k].rect;
            const os::Rect wanted = Rect(model.windows[k]);
            if (actual.left != wanted.left || actual.top != wanted.top || actual.right != wanted.right ||
                actual.bottom != wanted.bottom) {
                differences += "\nwindow " + std::to_string(k) + " at (" + std::to_string(actual.left) + "," +
                               std::to_string(actual.top) + ") expected (" + std::to_string(wanted.left) + "," +
                               std::to_string(wanted.top) + ")";
            }
        }
        EXPECT_EQ(differences, "") << Where();
        return differences.empty();
    }

    static int ModeValue(Mode mode) {
        switch (mode) {
            case Mode::Idle:
                return static_cast<int>(GestureMode::Idle);
            case Mode::Swipe:
                return static_cast<int>(GestureMode::Swipe);
            case Mode::Drag:
                return static_cast<int>(GestureMode::Drag);
        }
        return -1;
    }

    // The seed, the packet's index and the packets leading up to it.
    std::string Where() const {
        std::ostringstream text;
        text << "seed " << GetParam().seed << ", packet " << applied << "; the last packets:";
        const std::size_t from = applied >= 8 ? applied - 8 : 0;
        for (std::size_t k = from; k <= applied && k < stream.size(); ++k) {
            text << "\n  #" << k << " " << Describe(stream[k]);
        }
        return text.str();
    }

    // One wake-up: the packets that arrived since the last one, a few
    // notifications, and now and then no packet object after a few.
    void WakeUp(std::int64_t newPackets) {
        while (newPackets-- > 0) {
            const std::size_t before = stream.size();
            AppendSegment(dice, stream);
            for (std::size_t k = before; k < stream.size(); ++k) {
                api.device.queue.push_back(stream[k]);
            }
        }
        api.pendingNotifications = static_cast<int>(dice.Between(0, 3));
        createsLeft = dice.Chance(3) ? static_cast<int>(dice.Between(0, 3)) : -1;
        RunPacketBatch(connection, tracker);
        CheckConsumed();
        EXPECT_EQ(api.pendingNotifications, 0) << "seed " << GetParam().seed;
        EXPECT_EQ(ledger.created, ledger.released) << "seed " << GetParam().seed;
        // What the fakes and the simulated OS record would otherwise grow without bound.
        host::world().calls.clear();
        api.log->clear();
        ledger.reads.clear();
        if (dice.Chance(10)) {
            PlaceCursor();
        }
        if (dice.Chance(3)) {
            PlaceWindow();
        }
    }

    FreshWorld fresh;
    Dice dice{GetParam().seed};
    Model model;
    std::vector<PacketData> stream;
    std::size_t applied = 0;
    bool failed = false;
    int createsLeft = -1;

    fakes::PacketLedger ledger;
    fakes::FakeApi api;
    TouchpadConnection connection;
    DesktopList desktops;
    DragThread dragThread;
    GestureTracker tracker{desktops, dragThread};
    LineTap tap;
};

TEST_P(ModelCheckTest, EveryPacketDoesWhatTheModelDoes) {
    while (stream.size() < static_cast<std::size_t>(GetParam().packets) && !failed) {
        WakeUp(dice.Between(0, 4));
    }
    while (!api.device.queue.empty() && !failed) {
        WakeUp(0);
    }
    ASSERT_FALSE(failed);
    EXPECT_EQ(applied, stream.size());
    for (int mode = 0; mode < 3; ++mode) {
        for (int kind = 0; kind < 4; ++kind) {
            EXPECT_GT(model.rulesReached[mode][kind], 0) << "mode " << mode << ", kind " << kind;
        }
    }
    EXPECT_TRUE(model.releasedAtThreshold);
    EXPECT_TRUE(model.sumHeldAtLimit);
    EXPECT_TRUE(model.movedAWindow);
    const bool anyMissing = std::find(model.made.begin(), model.made.end(), false) != model.made.end();
    EXPECT_EQ(model.movedOntoMissing, anyMissing);
}

struct Layout {
    const char* name;
    std::vector<bool> extraMade;  // which of the three extra desktops exist
};

std::vector<ModelCase> Cases(const std::vector<Layout>& layouts, std::uint64_t seeds, int packets) {
    std::vector<ModelCase> cases;
    for (const Layout& layout : layouts) {
        for (std::uint64_t seed = 1; seed <= seeds; ++seed) {
            cases.push_back({std::string(layout.name) + "Seed" + std::to_string(seed), layout.extraMade, seed, packets});
        }
    }
    return cases;
}

// Enough packets to reach every rule many times over at the 32-bit limits,
// few enough to stay within seconds under the sanitizers.
INSTANTIATE_TEST_SUITE_P(Streams, ModelCheckTest,
                         ::testing::ValuesIn(Cases({{"AllMade", {true, true, true}}, {"NoneMade", {false, false, false}}},
                                                   4, 25000)),
                         CaseName());

// A drag must follow the desktop on screen when the list stands on a desktop
// that couldn't be made, also after a swipe onto a made desktop and on to a
// missing one without a drag between them.
INSTANTIATE_TEST_SUITE_P(SomeMissing, ModelCheckTest,
                         ::testing::ValuesIn(Cases({{"SecondMissing", {true, false, true}},
                                                    {"LastMissing", {true, true, false}},
                                                    {"OnlyLastMade", {false, false, true}}},
                                                   2, 25000)),
                         CaseName());

}  // namespace
