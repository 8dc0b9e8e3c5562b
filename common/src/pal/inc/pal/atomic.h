// Intrusive-record shared ownership: PAL::SmartPtr and its use-count record.
//
// A SmartPtr is two words, the object and its use-count record. The record is
// a separate heap object whose counters are guarded by a lock of its own, so
// copies of one pointer may be made and dropped on several threads at once.
// Host and plug-ins hand these pointers to each other, so the layout of both
// and the order of the record's virtual operations (destructor, dispose,
// destroy) are shared with the host.
#pragma once

#include <pal/api.h>
#include <pal/exception.h>
#include <pal/mutex.h>

#include <cstdint>
#include <new>
#include <utility>

namespace PAL {

class PAL_API SharedCount {
public:
    SharedCount() : use_count(1), weak_count(1) {}
    SharedCount(const SharedCount&) = delete;
    SharedCount& operator=(const SharedCount&) = delete;

    virtual ~SharedCount();
    // Frees the owned object; the base record owns nothing.
    virtual void dispose();
    // Deletes the record itself.
    virtual void destroy();

    // Raises UseCountIsZero when the object is already gone.
    void add_ref();
    // Disposes at use count 0 and destroys at weak count 0, outside the lock.
    void release();

    std::int32_t use_count;
    std::int32_t weak_count;
    CriticalSection lock;
};

namespace detail {

// The record for one owned type: deletes the object through its own type (and
// so through its virtual destructor where it has one).
template <class T>
class SharedCountOf final : public SharedCount {
public:
    explicit SharedCountOf(T* p) : ptr(p) {}
    void dispose() override {
        if (ptr)
            delete ptr;
    }

    T* ptr;
};

// A record that holds its object in its own allocation: it ends the object
// in place when the use count reaches 0 and is freed with it at the weak
// count's, as any record is. An object made so costs one allocation, not two.
template <class T>
class SharedCountWith final : public SharedCount {
public:
    template <class... Args>
    explicit SharedCountWith(Args&&... args) {
        ::new (static_cast<void*>(storage)) T(std::forward<Args>(args)...);
    }
    T* get() { return std::launder(reinterpret_cast<T*>(storage)); }
    void dispose() override { get()->~T(); }

private:
    alignas(T) unsigned char storage[sizeof(T)];
};

// A record that could not be allocated: std::bad_alloc, with the text the
// Windows runtime gives it, on every platform.
class BadAllocation : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

} // namespace detail

template <class T>
class SmartPtr {
public:
    using element_type = T;

    // Owns nothing; still has a record, like every SmartPtr.
    SmartPtr() : px(nullptr), pn(new SharedCount) {}

    // Takes ownership of `p` (which may be null). If the record cannot be
    // made, `p` is deleted before the failure leaves the constructor.
    explicit SmartPtr(T* p) : px(p), pn(make_record(p)) {}

    // Takes `record` (new, its counts 1) as the record of `p`, which the
    // record disposes of: for an object allocated with its record.
    SmartPtr(T* p, SharedCount* record) : px(p), pn(record) {}

    SmartPtr(const SmartPtr& other) : px(other.px), pn(other.pn) { pn->add_ref(); }

    // A pointer to a derived class converts to one to its base, sharing the
    // record (a MsgEvent becomes an Event to be posted).
    template <class U>
    SmartPtr(const SmartPtr<U>& other) : px(other.px), pn(other.pn) {
        pn->add_ref();
    }

    ~SmartPtr() { pn->release(); }

    // The new reference is taken before the old one is dropped, so assigning
    // a pointer to itself, or to a copy of itself, is safe.
    SmartPtr& operator=(const SmartPtr& other) {
        SmartPtr(other).swap(*this);
        return *this;
    }
    template <class U>
    SmartPtr& operator=(const SmartPtr<U>& other) {
        SmartPtr(other).swap(*this);
        return *this;
    }

    void reset() { SmartPtr().swap(*this); }
    void reset(T* p) { SmartPtr(p).swap(*this); }
    void swap(SmartPtr& other) noexcept {
        std::swap(px, other.px);
        std::swap(pn, other.pn);
    }

    T* get() const { return px; }
    T& operator*() const { return *px; }
    T* operator->() const { return px; }
    explicit operator bool() const { return px != nullptr; }
    bool operator!() const { return px == nullptr; }

    T* px;
    SharedCount* pn;

private:
    static SharedCount* make_record(T* p) {
        SharedCount* record = nullptr;
        try {
            record = new (std::nothrow) detail::SharedCountOf<T>(p);
            if (!record)
                throw detail::BadAllocation();
        } catch (...) {
            delete p;
            throw;
        }
        return record;
    }

    template <class U>
    friend class SmartPtr;
};

// A new T made of `args`, with its record in the same allocation. A
// failure to allocate raises std::bad_alloc as a record's does; one of T's
// constructor passes on, with nothing left allocated.
template <class T, class... Args>
SmartPtr<T> make_smart(Args&&... args) {
    auto* record = new (std::nothrow) detail::SharedCountWith<T>(std::forward<Args>(args)...);
    if (!record)
        throw detail::BadAllocation();
    return SmartPtr<T>(record->get(), record);
}

template <class T, class U>
bool operator==(const SmartPtr<T>& a, const SmartPtr<U>& b) {
    return a.get() == b.get();
}

} // namespace PAL
