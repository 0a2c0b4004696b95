#pragma once

#include "platform/AddressChanges.h"

/// Address changes for tests: the test says when one happened.
class FakeAddressChanges final : public AddressChanges {
public:
    /// An address of some adapter changed.
    void fire() { changed(); }
};
