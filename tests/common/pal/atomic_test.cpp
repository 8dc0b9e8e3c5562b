#include <pal/atomic.h>

#include "common/pal/lock_probe.h"
#include "common/pal/os_seam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// An owned object that counts its deaths, and logs them when asked.
std::vector<std::string> lifecycle;
struct Counted {
    explicit Counted(std::atomic<int>& deaths, bool logged = false)
        : deaths(deaths), logged(logged) {}
    virtual ~Counted() {
        ++deaths;
        if (logged)
            lifecycle.push_back("object");
    }
    std::atomic<int>& deaths;
    bool logged;
};

struct Other {
    virtual ~Other() = default;
    int padding = 0;
};
// Not the first base, so a converted pointer has another address.
struct Derived : Other, Counted {
    Derived(std::atomic<int>& deaths, std::atomic<int>& derived_deaths)
        : Counted(deaths), derived_deaths(derived_deaths) {}
    ~Derived() override { ++derived_deaths; }
    std::atomic<int>& derived_deaths;
};

// The record under watch: its lock's destruction is the record's own.
const void* watched_record = nullptr;
std::size_t watched_size = 0;
std::atomic<int> record_deaths{0};
void destroy_recording(void* native) {
    if (pal_test::points_into(native, watched_record, watched_size)) {
        ++record_deaths;
        lifecycle.push_back("record");
    }
    PAL::os::native_syscalls().lock_destroy(native);
}

template <class T>
void watch(const PAL::SmartPtr<T>& p, std::size_t size) {
    watched_record = p.pn;
    watched_size = size;
    record_deaths = 0;
    lifecycle.clear();
}

// Counts seen by the watched record's lock hooks: a count that changed
// between one leave and the next enter changed outside the lock.
struct Counts {
    std::int32_t use = 0;
    std::int32_t weak = 0;
    bool operator==(const Counts&) const = default;
};
Counts watched_counts() {
    const auto* record = static_cast<const PAL::SharedCount*>(watched_record);
    return {record->use_count, record->weak_count};
}
Counts at_last_leave;
int watched_enters = 0;
int changed_outside = 0;
std::function<void()> after_leave; // run once, as another thread would
void enter_checking(void* native) {
    PAL::os::native_syscalls().lock_enter(native);
    if (pal_test::points_into(native, watched_record, watched_size)) {
        if (watched_enters++ > 0 && watched_counts() != at_last_leave)
            ++changed_outside;
    }
}
void leave_checking(void* native) {
    const bool watched = pal_test::points_into(native, watched_record, watched_size);
    if (watched)
        at_last_leave = watched_counts();
    PAL::os::native_syscalls().lock_leave(native);
    if (watched && after_leave) {
        auto interleaved = std::move(after_leave);
        after_leave = nullptr;
        interleaved();
    }
}

int init_failing(void*, unsigned int) {
    return ENOMEM;
}

TEST(SmartPtrRecord, EmptyPointerStillHasItsOwnRecord) {
    pal_test::SyscallsGuard os;
    os.table().lock_destroy = destroy_recording;
    for (const bool from_null : {false, true}) {
        SCOPED_TRACE(from_null ? "from a null object pointer" : "default constructed");
        std::optional<PAL::SmartPtr<Counted>> p;
        if (from_null)
            p.emplace(nullptr);
        else
            p.emplace();
        ASSERT_NE(p->pn, nullptr);
        EXPECT_EQ(p->get(), nullptr);
        EXPECT_FALSE(*p);
        EXPECT_EQ(p->pn->use_count, 1);
        EXPECT_EQ(p->pn->weak_count, 1);
        watch(*p,
              from_null ? sizeof(PAL::detail::SharedCountOf<Counted>) : sizeof(PAL::SharedCount));

        std::optional<PAL::SmartPtr<Counted>> copy(*p);
        EXPECT_EQ(copy->pn, p->pn);
        EXPECT_EQ(p->pn->use_count, 2);
        EXPECT_EQ(p->pn->weak_count, 2);
        p.reset();
        EXPECT_EQ(record_deaths.load(), 0);
        copy.reset();
        EXPECT_EQ(record_deaths.load(), 1);
    }
}

TEST(SmartPtrRecord, LastCopyDeletesObjectOnceThenRecord) {
    pal_test::SyscallsGuard os;
    os.table().lock_destroy = destroy_recording;
    const std::vector<std::vector<int>> drop_orders = {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}};
    for (const auto& order : drop_orders) {
        SCOPED_TRACE(testing::Message() << "drop order " << order[0] << order[1] << order[2]);
        std::atomic<int> deaths{0};
        std::vector<std::optional<PAL::SmartPtr<Counted>>> copies(3);
        copies[0].emplace(new Counted(deaths, true));
        copies[1].emplace(*copies[0]);
        copies[2].emplace(*copies[1]);
        EXPECT_EQ(copies[0]->pn->use_count, 3);
        watch(*copies[0], sizeof(PAL::detail::SharedCountOf<Counted>));
        for (std::size_t i = 0; i < order.size(); ++i) {
            copies[static_cast<std::size_t>(order[i])].reset();
            EXPECT_EQ(deaths.load(), i + 1 == order.size() ? 1 : 0);
        }
        EXPECT_EQ(lifecycle, (std::vector<std::string>{"object", "record"}));
    }
}

TEST(SmartPtrRecord, CountsChangeOnlyUnderTheRecordsLock) {
    pal_test::SyscallsGuard os;
    os.table().lock_enter = enter_checking;
    os.table().lock_leave = leave_checking;
    std::atomic<int> deaths{0};
    PAL::SmartPtr<Counted> p(new Counted(deaths));
    watch(p, sizeof(PAL::detail::SharedCountOf<Counted>));
    watched_enters = 0;
    changed_outside = 0;
    {
        PAL::SmartPtr<Counted> a(p);
        PAL::SmartPtr<Counted> b(a);
        PAL::SmartPtr<Counted> c;
        c = b;
        b.reset();
        a.swap(c);
    }
    EXPECT_GE(watched_enters, 6);
    EXPECT_EQ(changed_outside, 0);
    EXPECT_EQ(p.pn->use_count, 1);
    EXPECT_EQ(p.pn->weak_count, 1);
}

// Another owner drops its copy right after a release has left the lock: the
// release must decide from the counts it saw under the lock, so the object
// is deleted once, by the other owner.
TEST(SmartPtrRecord, ReleaseDecidesFromTheCountsSeenUnderTheLock) {
    pal_test::SyscallsGuard os;
    os.table().lock_leave = leave_checking;
    std::atomic<int> deaths{0};
    std::optional<PAL::SmartPtr<Counted>> mine;
    std::optional<PAL::SmartPtr<Counted>> theirs;
    mine.emplace(new Counted(deaths));
    theirs.emplace(*mine);
    PAL::SharedCount* record = mine->pn;
    ++record->weak_count; // keeps the record readable after both drops
    watch(*mine, sizeof(PAL::detail::SharedCountOf<Counted>));
    after_leave = [&theirs] { theirs.reset(); };
    mine.reset();
    EXPECT_FALSE(after_leave);
    EXPECT_EQ(deaths.load(), 1);
    EXPECT_EQ(record->use_count, 0);
    EXPECT_EQ(record->weak_count, 1);
    record->destroy();
}

TEST(SmartPtrRecord, NoRevivalAfterTheLastRelease) {
    std::atomic<int> deaths{0};
    PAL::SmartPtr<Counted> p(new Counted(deaths));
    PAL::SharedCount* record = p.pn;
    ++record->weak_count; // a holder of the record that owns no use
    p.reset();
    EXPECT_EQ(deaths.load(), 1);
    ASSERT_EQ(record->use_count, 0);
    ASSERT_EQ(record->weak_count, 1);
    try {
        record->add_ref();
        ADD_FAILURE() << "a disposed object was revived";
    } catch (const PAL::UseCountIsZero& e) {
        EXPECT_STREQ(e.file, "atomic");
    }
    EXPECT_EQ(record->use_count, 0);
    EXPECT_EQ(record->weak_count, 1);
    // On failure the record is leaked: a probe thread may still wait on it.
    ASSERT_TRUE(pal_test::free_for_other_thread(record->lock));
    record->destroy();
    EXPECT_EQ(deaths.load(), 1);
}

TEST(SmartPtrRecord, ObjectIsDeletedWhenTheRecordCannotBeMade) {
    pal_test::SyscallsGuard os;
    os.table().lock_init = init_failing;
    std::atomic<int> deaths{0};
    try {
        PAL::SmartPtr<Counted> p(new Counted(deaths));
        ADD_FAILURE() << "a pointer without a record came into being";
    } catch (const PAL::WindowsError& e) {
        EXPECT_EQ(e.code, static_cast<std::uint32_t>(ENOMEM));
    }
    EXPECT_EQ(deaths.load(), 1);
    EXPECT_THROW(PAL::SmartPtr<Counted> empty(nullptr), PAL::WindowsError);
}

// Copies made and dropped on several threads at once keep exact counts.
TEST(SmartPtrThreads, CountsStayExactWhileThreadsCopyAndDrop) {
    constexpr int THREADS = 6;
    constexpr int ROUNDS = 20000;
    std::atomic<int> deaths{0};
    PAL::SmartPtr<Counted> owner(new Counted(deaths));
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([&owner] {
            std::vector<PAL::SmartPtr<Counted>> held;
            for (int i = 0; i < ROUNDS; ++i) {
                held.push_back(owner);
                if (held.size() > 5)
                    held.clear();
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(owner.pn->use_count, 1);
    EXPECT_EQ(owner.pn->weak_count, 1);
    EXPECT_EQ(deaths.load(), 0);
}

// Owners on several threads dropping their last copies at the same moment:
// exactly one of them deletes, round after round.
TEST(SmartPtrThreads, OwnersDroppingTogetherDeleteOnce) {
    constexpr int THREADS = 3;
    constexpr int ROUNDS = 5000;
    std::atomic<int> deaths{0};
    std::vector<std::optional<PAL::SmartPtr<Counted>>> owners(THREADS);
    std::barrier sync(THREADS + 1);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < THREADS; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < ROUNDS; ++round) {
                sync.arrive_and_wait();
                owners[t].reset();
                sync.arrive_and_wait();
            }
        });
    for (int round = 0; round < ROUNDS; ++round) {
        {
            PAL::SmartPtr<Counted> made(new Counted(deaths));
            for (auto& owner : owners)
                owner.emplace(made);
        }
        sync.arrive_and_wait();
        sync.arrive_and_wait();
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(deaths.load(), ROUNDS);
}

TEST(SmartPtrAssign, TakesTheNewReferenceBeforeDroppingTheOld) {
    std::atomic<int> a_deaths{0};
    std::atomic<int> b_deaths{0};
    PAL::SmartPtr<Counted> a(new Counted(a_deaths));
    PAL::SmartPtr<Counted> b(new Counted(b_deaths));

    PAL::SmartPtr<Counted>& same = a;
    a = same;
    EXPECT_EQ(a_deaths.load(), 0);
    EXPECT_EQ(a.pn->use_count, 1);

    PAL::SmartPtr<Counted> a2(a);
    a = a2;
    EXPECT_EQ(a_deaths.load(), 0);
    EXPECT_EQ(a.pn->use_count, 2);

    a2 = b;
    a = b;
    EXPECT_EQ(a_deaths.load(), 1);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a.pn, b.pn);
    EXPECT_EQ(b.pn->use_count, 3);
    EXPECT_EQ(b_deaths.load(), 0);
}

TEST(SmartPtrAssign, ResetAndSwap) {
    std::atomic<int> a_deaths{0};
    std::atomic<int> b_deaths{0};
    PAL::SmartPtr<Counted> a(new Counted(a_deaths));
    PAL::SmartPtr<Counted> b(new Counted(b_deaths));
    Counted* const a_object = a.get();
    PAL::SharedCount* const a_record = a.pn;

    a.swap(b);
    EXPECT_EQ(b.get(), a_object);
    EXPECT_EQ(b.pn, a_record);
    EXPECT_EQ(a.pn->use_count, 1);
    EXPECT_EQ(b.pn->use_count, 1);

    Counted* const replacement = new Counted(a_deaths);
    b.reset(replacement);
    EXPECT_EQ(a_deaths.load(), 1);
    EXPECT_EQ(b.get(), replacement);
    EXPECT_EQ(b.pn->use_count, 1);

    a.reset();
    EXPECT_EQ(b_deaths.load(), 1);
    EXPECT_FALSE(a);
    ASSERT_NE(a.pn, nullptr);
    EXPECT_EQ(a.pn->use_count, 1);
}

TEST(SmartPtrConvert, DerivedPointerSharesTheRecordAsBase) {
    std::atomic<int> deaths{0};
    std::atomic<int> derived_deaths{0};
    PAL::SmartPtr<Derived> derived(new Derived(deaths, derived_deaths));
    PAL::SmartPtr<Counted> base(derived);
    EXPECT_EQ(base.get(), static_cast<Counted*>(derived.get()));
    EXPECT_TRUE(base == derived);
    EXPECT_EQ(base.pn, derived.pn);
    PAL::SmartPtr<Counted> assigned;
    assigned = derived;
    EXPECT_EQ(derived.pn->use_count, 3);

    derived.reset();
    base.reset();
    EXPECT_EQ(deaths.load(), 0);
    assigned.reset();
    EXPECT_EQ(deaths.load(), 1);
    EXPECT_EQ(derived_deaths.load(), 1);
}

} // namespace
