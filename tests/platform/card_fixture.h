// A registry fixture with the simulated card: every opener's names, an
// installed adapter for the instance-id opener, and the clock made virtual on
// the host (under Wine, Sleep really sleeps).
#pragma once

#include <string>

#include "reg_fixture.h"
#include "test_card.h"

class CardTest : public RegistryTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The card as each Windows family's driver presents it, and OsClass set
    // to that family. `os_class` 8 and 32 also install the adapter's driver
    // key with its instance id.
    void PresentCard(uint32_t os_class);
    // The adapter's driver key and instance id for Windows 2000/XP.
    void InstallAdapter(uint32_t os_class, const std::string& instance_id);

    TestCard& card = TestCard::Instance();
    static const std::string kInstanceId;
};

// The request log of the card as a list of (command, type) pairs.
std::string DescribeRequests(const cardsim::CardState& state);
