#include "framework/ChangeChannel.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

using namespace korvex;

TEST(ChangeChannel, MarksBetweenDeliveriesReachEachSubscriberOnceAsOneSet) {
    ChangeChannel channel;
    std::vector<uint32_t> first, second;
    auto a = channel.Subscribe([&](uint32_t bits) { first.push_back(bits); });
    auto b = channel.Subscribe([&](uint32_t bits) { second.push_back(bits); });
    channel.Mark(0x1);
    channel.Mark(0x4);
    channel.Mark(0x1);
    EXPECT_TRUE(first.empty()) << "marking calls nobody";
    EXPECT_EQ(channel.Pending(), 0x5u);
    channel.Deliver();
    EXPECT_EQ(first, std::vector<uint32_t>{0x5});
    EXPECT_EQ(second, std::vector<uint32_t>{0x5});
    EXPECT_EQ(channel.Pending(), 0u);
    channel.Deliver(); // nothing marked since: nobody is called
    EXPECT_EQ(first.size(), 1u);
}

TEST(ChangeChannel, AnEndedSubscriptionIsNotCalled) {
    ChangeChannel channel;
    int calls = 0;
    {
        auto gone = channel.Subscribe([&](uint32_t) { ++calls; });
        EXPECT_TRUE(gone.Active());
    }
    auto reset = channel.Subscribe([&](uint32_t) { ++calls; });
    reset.Reset();
    EXPECT_FALSE(reset.Active());
    // A moved subscription is ended by its new holder, not by the old one.
    auto moved = channel.Subscribe([&](uint32_t) { calls += 10; });
    std::optional<ChangeChannel::Subscription> holder(std::move(moved));
    moved.Reset();
    channel.Mark(0x2);
    channel.Deliver();
    EXPECT_EQ(calls, 10);
    holder.reset();
    channel.Mark(0x2);
    channel.Deliver();
    EXPECT_EQ(calls, 10);
}

// A subscriber that ends another's subscription during a delivery: the
// ended one is not called, also within that delivery; marks made during a
// delivery wait for the next one.
TEST(ChangeChannel, SubscribersMayEndSubscriptionsAndMarkDuringADelivery) {
    ChangeChannel channel;
    std::vector<uint32_t> late;
    auto victim = std::make_unique<ChangeChannel::Subscription>();
    auto killer = channel.Subscribe([&](uint32_t bits) {
        victim.reset();
        if (bits == 0x1)
            channel.Mark(0x8);
    });
    *victim = channel.Subscribe([&](uint32_t bits) { late.push_back(bits); });
    channel.Mark(0x1);
    channel.Deliver();
    EXPECT_TRUE(late.empty());
    EXPECT_EQ(channel.Pending(), 0x8u);
}

TEST(ChangeChannel, ASubscriptionMayOutliveItsChannel) {
    ChangeChannel::Subscription kept;
    {
        ChangeChannel channel;
        kept = channel.Subscribe([](uint32_t) {});
        EXPECT_TRUE(kept.Active());
    }
    EXPECT_FALSE(kept.Active());
    kept.Reset(); // nothing left to end
}
