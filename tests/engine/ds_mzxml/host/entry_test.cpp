// The export, the factory and the records of the host headers, seen from a
// host that loaded the plug-in with dlopen.
#include "plugin_host.h"

#include <ds/utils.h>

namespace {

using host::asserts;
using host::entry_point;

TEST(Entry, VersionTwentyGivesTheSameFactoryWithoutAnEventSink) {
    fixture::RecordingSocket sink;
    auto* first = entry_point()(20, PAL::SmartPtr<PAL::EventSocket>());
    auto* second = entry_point()(20, sink.socket);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(sink.listener.events.empty());
}

TEST(Entry, OtherVersionsGiveNullAndOneErrorEvent) {
    for (unsigned int version : {19u, 21u, 0u}) {
        fixture::RecordingSocket sink;
        EXPECT_EQ(entry_point()(version, sink.socket), nullptr) << version;
        ASSERT_EQ(sink.listener.events.size(), 1u) << version;
        const auto& event = sink.listener.events[0];
        EXPECT_EQ(event.kind, PAL::Event::MSG_EVENT);
        EXPECT_EQ(event.level, 1u);
        EXPECT_EQ(event.id, 0xCC020000u);
        EXPECT_EQ(event.args, std::vector<std::wstring>{L"mzXML"});
    }
    EXPECT_EQ(entry_point()(0, PAL::SmartPtr<PAL::EventSocket>()), nullptr);
}

TEST(Entry, EachCreateMakesAnIndependentDataSource) {
    auto first = host::create();
    auto second = host::create();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_NE(first->access_mutex.native_handle(), nullptr);
    EXPECT_EQ(first->revision(), 1u);
}

// Thrown in the module, caught by type here: the exception classes live in
// the shared platform library, so both sides agree on their identity.
TEST(Entry, ExceptionsFromThePlugInAreCaughtByType) {
    auto source = host::create();
    bool caught = false;
    try {
        source->get_scan_count();
    } catch (const PAL::AppError& error) {
        caught = true;
        EXPECT_EQ(error.code, 0x80040801u);
        EXPECT_STREQ(error.file, "mzxml_intf");
    }
    EXPECT_TRUE(caught);
}

TEST(HostHeaders, RawSpecInfoCacheKeysByLabelAndRefusesChanges) {
    orvoeng::RawSpecInfoCache cache;
    orvoeng::RawSpecInfo out{99, false};
    EXPECT_FALSE(cache.find(7, 0, out));
    EXPECT_EQ(out.peak_count, 99u) << "a miss leaves the output alone";

    cache.store(7, 3, {12, true});
    ASSERT_TRUE(cache.find(7, 5, out)) << "sub keys are ignored unless asked for";
    EXPECT_EQ(out.peak_count, 12u);
    EXPECT_TRUE(out.centroided);
    cache.store(7, 0, {12, true}); // the same facts again are fine

    EXPECT_TRUE(asserts([&] { cache.store(7, 0, {13, true}); }, L"Raw spec info changed"));
    EXPECT_TRUE(asserts([&] { cache.store(7, 0, {12, false}); }, L"Raw spec info changed"));
    EXPECT_EQ(cache.entries.size(), 1u);

    cache.key_by_sub_key = true;
    cache.store(7, 0xFFFFFFFF, {1, false});
    ASSERT_TRUE(cache.find(7, 0xFFFFFFFF, out));
    EXPECT_EQ(out.peak_count, 1u);
    EXPECT_EQ(cache.entries.begin()->first, (orvoeng::RawSpecInfoCache::Key{7, -1}))
        << "sub keys order as signed numbers";
}

} // namespace
