#include <pal/atomic.h>

#include "common/pal/os_seam.h"
#include "support/phase_barrier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <optional>

namespace {

struct Counted {
    explicit Counted(std::atomic<int>& counter) : deaths(counter) {}
    virtual ~Counted() { ++deaths; }
    std::atomic<int>& deaths;
};
using Ptr = PAL::SmartPtr<Counted>;

// Records are allocated without throwing; a refusal is reported by the pointer itself.
bool refuse_nothrow_new = false;

} // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (refuse_nothrow_new)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

// Whether its lock or its memory is missing, the object is deleted before the failure leaves.
TEST(SmartPtrRecord, ObjectIsDeletedWhenTheRecordCannotBeMade) {
    std::atomic<int> deaths{0};
    {
        pal_test::SyscallsGuard os;
        os.table().lock_init = [](void*, unsigned int) { return ENOMEM; };
        EXPECT_THROW(Ptr p(new Counted(deaths)), PAL::WindowsError);
    }
    auto* object = new Counted(deaths);
    refuse_nothrow_new = true;
    try {
        Ptr p(object);
        ADD_FAILURE() << "a record came from nowhere";
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "bad allocation");
    }
    refuse_nothrow_new = false;
    EXPECT_EQ(deaths.load(), 2);
}

// An object made with its record lives until the last copy goes, and is ended once. When
// the record cannot be made, no object was made: nothing is ended, the failure is the same.
TEST(SmartPtrRecord, AnObjectMadeWithItsRecordIsEndedOnceAndFailuresLeaveNone) {
    std::atomic<int> deaths{0};
    {
        const Ptr first = PAL::make_smart<Counted>(deaths);
        {
            const Ptr second = first;
            EXPECT_EQ(second.get(), first.get());
            EXPECT_EQ(first.pn->use_count, 2);
        }
        EXPECT_EQ(deaths.load(), 0);
        EXPECT_EQ(first.pn->use_count, 1);
    }
    EXPECT_EQ(deaths.load(), 1);
    {
        pal_test::SyscallsGuard os;
        os.table().lock_init = [](void*, unsigned int) { return ENOMEM; };
        EXPECT_THROW(PAL::make_smart<Counted>(deaths), PAL::WindowsError);
    }
    refuse_nothrow_new = true;
    try {
        PAL::make_smart<Counted>(deaths);
        ADD_FAILURE() << "a record came from nowhere";
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "bad allocation");
    }
    refuse_nothrow_new = false;
    EXPECT_EQ(deaths.load(), 1);
}

// Another owner drops its copy just after a release left the record's lock: the release
// decides from the counts it saw under the lock, so the object dies once. Nothing revives it.
std::function<void()> after_leave;
TEST(SmartPtrRecord, TheLastReleaseDecidesUnderTheLockAndIsFinal) {
    pal_test::SyscallsGuard os;
    os.table().lock_leave = [](void* native) {
        PAL::os::native_syscalls().lock_leave(native);
        if (auto interleaved = std::exchange(after_leave, nullptr))
            interleaved();
    };
    std::atomic<int> deaths{0};
    std::optional<Ptr> mine(new Counted(deaths)), theirs(*mine);
    PAL::SharedCount* record = mine->pn;
    ++record->weak_count; // a holder of the record that owns no use
    after_leave = [&theirs] { theirs.reset(); };
    mine.reset();
    EXPECT_THROW(record->add_ref(), PAL::UseCountIsZero);
    EXPECT_EQ(record->use_count, 0);
    // Leaked on failure: a probe thread may still wait on the lock.
    ASSERT_TRUE(pal_test::free_for_other_thread(record->lock));
    record->destroy();
    EXPECT_EQ(deaths.load(), 1);
}

// Threads copy one pointer and drop the copies together after its owner, round after round:
// each object dies once (a record destroyed twice or never shows in the asan tests).
TEST(SmartPtrThreads, CopiesDroppedTogetherDeleteOnce) {
    std::atomic<int> deaths{0};
    std::optional<Ptr> owner;
    // Between phases one thread alone makes the owner, then drops it.
    fixture::PhaseBarrier sync(
        3, [&] { owner ? owner.reset() : void(owner.emplace(new Counted(deaths))); });
    const auto copy_and_drop = [&] {
        for (int round = 0; round < 3000; ++round) {
            sync.arrive_and_wait();
            std::vector<Ptr> copies(4, *owner);
            sync.arrive_and_wait();
        }
    };
    { std::jthread a(copy_and_drop), b(copy_and_drop), c(copy_and_drop); }
    EXPECT_EQ(deaths.load(), 3000);
}

// The new reference is taken first: a pointer survives being assigned itself or a copy.
TEST(SmartPtrAssign, AssignResetAndSwap) {
    std::atomic<int> deaths{0};
    Ptr a(new Counted(deaths)), b;
    Ptr& same = a;
    a = same;
    a = Ptr(a);
    EXPECT_EQ(a.pn->use_count, 1);
    a.swap(b);
    EXPECT_FALSE(a);
    EXPECT_EQ(deaths.load(), 0);
    b = a;
    EXPECT_EQ(deaths.load(), 1);
    b.reset(new Counted(deaths));
    EXPECT_EQ(b.pn->use_count, 1);
}

} // namespace
