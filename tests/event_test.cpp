// The event scheduler: queue order, ties, removal, the pass and its
// continuation rule, and periodic devices.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/event.h"
#include "core/hooks.h"
#include "support/flat_bus.h"

namespace {

std::vector<int> g_fired;

template <int Id>
void record(int64_t*)
{
    g_fired.push_back(Id);
}

std::vector<int> queue_ids()
{
    std::vector<int> ids;
    for (event_entry* e = event_first(); e; e = event_next(e))
        ids.push_back(e->id);
    return ids;
}

std::vector<int> queue_ids_backwards()
{
    std::vector<int> ids;
    for (event_entry* e = event_last(); e; e = event_prev(e))
        ids.insert(ids.begin(), e->id);
    return ids;
}

// What the floppy controller leaves in the queue: an entry at -1 that
// never fires.
void place_floppy_placeholder()
{
    event_register(EVENT_WD1793, nullptr);
    event_schedule_id(EVENT_WD1793, -1);
}

void pass_at(int64_t now)
{
    z80_state.tcount = now;
    event_run_due();
}

class Events : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fired.clear();
        the_machine = machine{};
        event_init();
    }
    static void empty_queue() { event_remove_id(EVENT_CLOCK_TIMEOUT); }
};

TEST_F(Events, InitLeavesOnlyTheClockPlaceholderAndCounterAtMinusOne)
{
    EXPECT_EQ(z80_state.tcount, -1);
    EXPECT_EQ(queue_ids(), std::vector<int>{EVENT_CLOCK_TIMEOUT});
    EXPECT_EQ(event_last(), &the_machine.events.entries[EVENT_CLOCK_TIMEOUT]);
    EXPECT_EQ(event_first()->time, -1);
    EXPECT_EQ(event_kind(EVENT_CLOCK_TIMEOUT), nullptr);
    EXPECT_EQ(the_machine.events.next_due, INT64_MAX);   // nothing real to run
}

TEST_F(Events, SetupOnEmptyQueueMakesHeadAndTailAndWaitsUntilDue)
{
    empty_queue();
    EXPECT_EQ(event_first(), nullptr);
    EXPECT_EQ(event_last(), nullptr);
    event_setup(2, 100, record<2>);
    EXPECT_EQ(event_first(), &the_machine.events.entries[2]);
    EXPECT_EQ(event_last(), &the_machine.events.entries[2]);
    EXPECT_EQ(the_machine.events.next_due, 100);
    pass_at(99);
    EXPECT_TRUE(g_fired.empty());
    pass_at(100);
    EXPECT_EQ(g_fired, std::vector<int>{2});
}

TEST_F(Events, QueueStaysOrderedByTimeBothWays)
{
    event_setup(1, 100, record<1>);
    event_setup(2, 50, record<2>);
    event_setup(3, 200, record<3>);
    event_setup(6, 75, record<6>);
    const std::vector<int> expected{EVENT_CLOCK_TIMEOUT, 2, 6, 1, 3};
    EXPECT_EQ(queue_ids(), expected);
    EXPECT_EQ(queue_ids_backwards(), expected);
    EXPECT_EQ(the_machine.events.next_due, 50);
    pass_at(150);
    EXPECT_EQ(g_fired, (std::vector<int>{2, 6, 1}));
}

TEST_F(Events, EqualTimesFireInReverseOrderOfInsertion)
{
    event_setup(1, 10, record<1>);
    event_setup(2, 10, record<2>);
    event_setup(3, 10, record<3>);
    pass_at(10);
    EXPECT_EQ(g_fired, (std::vector<int>{3, 2, 1}));
}

TEST_F(Events, FloppyPlaceholderGoesAheadOfTheClockPlaceholder)
{
    place_floppy_placeholder();
    EXPECT_EQ(queue_ids(), (std::vector<int>{EVENT_WD1793, EVENT_CLOCK_TIMEOUT}));
    EXPECT_EQ(the_machine.events.next_due, INT64_MAX);
    event_remove_id(EVENT_WD1793);
    EXPECT_EQ(queue_ids(), std::vector<int>{EVENT_CLOCK_TIMEOUT});
}

TEST_F(Events, RemovingAnIdThatIsNotQueuedChangesNothing)
{
    event_setup(1, 10, record<1>);
    event_remove_id(2);
    EXPECT_EQ(queue_ids(), (std::vector<int>{EVENT_CLOCK_TIMEOUT, 1}));
}

TEST_F(Events, RemovingTheOnlyEntryEmptiesTheQueue)
{
    event_remove_id(EVENT_CLOCK_TIMEOUT);
    EXPECT_EQ(event_first(), nullptr);
    EXPECT_EQ(event_last(), nullptr);
    EXPECT_EQ(event_find(EVENT_CLOCK_TIMEOUT), nullptr);
}

TEST_F(Events, RemovingFromTheMiddleRelinksNeighbours)
{
    event_setup(1, 10, record<1>);
    event_setup(2, 20, record<2>);
    event_setup(3, 30, record<3>);
    event_remove(&the_machine.events.entries[2]);
    EXPECT_EQ(queue_ids(), (std::vector<int>{EVENT_CLOCK_TIMEOUT, 1, 3}));
    EXPECT_EQ(queue_ids_backwards(), (std::vector<int>{EVENT_CLOCK_TIMEOUT, 1, 3}));
    event_remove(&the_machine.events.entries[3]);
    EXPECT_EQ(event_last(), &the_machine.events.entries[1]);
    EXPECT_EQ(the_machine.events.next_due, 10);
}

TEST_F(Events, AddLinksAheadOfAnEntryIgnoringTimes)
{
    event_setup(1, 10, record<1>);
    the_machine.events.entries[2].id = 2;
    the_machine.events.entries[2].time = 500;
    event_add(&the_machine.events.entries[1], &the_machine.events.entries[2]);
    EXPECT_EQ(queue_ids(), (std::vector<int>{EVENT_CLOCK_TIMEOUT, 2, 1}));
    event_add(event_first(), &the_machine.events.entries[3]);
    EXPECT_EQ(event_first(), &the_machine.events.entries[3]);
}

TEST_F(Events, SchedulingAQueuedEntryAgainMovesItInsteadOfTyingALoop)
{
    event_setup(1, 10, record<1>);
    event_schedule_id(1, 40);
    event_schedule(&the_machine.events.entries[1], 30);
    EXPECT_EQ(queue_ids(), (std::vector<int>{EVENT_CLOCK_TIMEOUT, 1}));
    EXPECT_EQ(event_find(1)->time, 30);
    event_remove(&the_machine.events.entries[2]);   // not queued: ignored
    EXPECT_EQ(queue_ids(), (std::vector<int>{EVENT_CLOCK_TIMEOUT, 1}));
}

TEST_F(Events, IdsOutsideTheTableAreIgnored)
{
    event_setup(7, 10, record<1>);
    event_setup(-1, 10, record<1>);
    event_schedule_id(99, 10);
    event_schedule_id_wremove(7, 10);
    EXPECT_EQ(queue_ids(), std::vector<int>{EVENT_CLOCK_TIMEOUT});
}

TEST_F(Events, NullCallbackInstallsTheDummyWhichWarnsInTheLog)
{
    event_setup(3, 5, nullptr);
    EXPECT_EQ(event_kind(3), event_dummy_callback);
    host_hooks.log = [](const char* text) { std::fputs(text, stderr); };
    testing::internal::CaptureStderr();
    pass_at(5);
    const std::string err = testing::internal::GetCapturedStderr();
    host_hooks.log = nullptr;
    EXPECT_EQ(err, "Warning! Dummy event callback!\n");
    EXPECT_EQ(err.size(), 31u);
}

// A callback moving its own entry later: the pass continues after the new
// position, so entries it jumped over wait for the next pass.
void jump_over(int64_t*)
{
    g_fired.push_back(1);
    event_schedule_id_wremove(1, 30);
}

TEST_F(Events, ReschedulingLaterSkipsJumpedOverEntriesUntilTheNextPass)
{
    event_setup(1, 10, jump_over);
    event_setup(2, 20, record<2>);
    pass_at(25);
    EXPECT_EQ(g_fired, std::vector<int>{1});
    pass_at(25);
    EXPECT_EQ(g_fired, (std::vector<int>{1, 2}));
}

void remove_self(int64_t*)
{
    g_fired.push_back(1);
    event_remove_id(1);
}

TEST_F(Events, CallbackMayRemoveItsOwnEntryAndThePassGoesOn)
{
    event_setup(1, 10, remove_self);
    event_setup(2, 20, record<2>);
    pass_at(25);
    EXPECT_EQ(g_fired, (std::vector<int>{1, 2}));
    EXPECT_EQ(event_find(1), nullptr);
}

void reschedule_now(int64_t* now)
{
    g_fired.push_back(1);
    event_schedule_id_wremove(1, *now);
}

TEST_F(Events, EntryRescheduledToNowFiresAtTheNextPassNotAgainInThisOne)
{
    empty_queue();
    event_setup(1, 10, reschedule_now);
    pass_at(12);
    EXPECT_EQ(g_fired, std::vector<int>{1});
    pass_at(12);
    EXPECT_EQ(g_fired, (std::vector<int>{1, 1}));
}

// ---- driven by the processor ------------------------------------------------

constexpr int64_t PERIOD = 100;
std::vector<int64_t> g_due_times;
std::vector<int64_t> g_fire_times;

void periodic(int64_t* now)
{
    const int64_t due = event_find(0)->time;
    g_due_times.push_back(due);
    g_fire_times.push_back(*now);
    event_schedule_id_wremove(0, due + PERIOD);
}

TEST_F(Events, PeriodicDeviceKeepsADriftFreePeriodHoweverLateThePassRuns)
{
    // JP 0000 in a loop: 10 T-states per instruction, so passes run up to
    // 9 T-states after each due time.
    flat_bus_state::memory.fill(0);
    const uint8_t loop[] = {0xC3, 0x00, 0x00};
    flat_load(0, loop, sizeof loop);
    z80_state.pc = 0;
    g_due_times.clear();
    g_fire_times.clear();
    event_setup(0, z80_state.tcount + 1 + 7, periodic);   // first due at 7
    z80_run_flat(100'000);
    ASSERT_EQ(g_due_times.size(), 1000u);
    for (std::size_t k = 0; k < g_due_times.size(); ++k) {
        EXPECT_EQ(g_due_times[k], 7 + static_cast<int64_t>(k) * PERIOD);
        EXPECT_GE(g_fire_times[k], g_due_times[k]);
        EXPECT_LT(g_fire_times[k] - g_due_times[k], 10);
    }
}

TEST_F(Events, ProcessorRunsDueEventsInQueueOrderPastThePlaceholders)
{
    flat_bus_state::memory.fill(0);   // NOPs
    place_floppy_placeholder();
    z80_state.tcount = 0;
    z80_state.pc = 0;
    event_setup(1, 6, record<1>);
    event_setup(2, 5, record<2>);
    event_setup(3, 6, record<3>);
    z80_run_flat(4);
    EXPECT_TRUE(g_fired.empty());
    z80_run_flat(4);
    EXPECT_EQ(g_fired, (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(queue_ids(), (std::vector<int>{EVENT_WD1793, EVENT_CLOCK_TIMEOUT, 2, 3, 1}));
    event_remove_id(EVENT_WD1793);
}

}  // namespace
