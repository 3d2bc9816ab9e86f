#pragma once
// A store family whose release and status a test sets, put in the place of the family that
// registered a row (StoreSet::ReplaceFamily). It makes no stores.

#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "stores/catalog/store_set.h"

class FakeStoreFamily : public StoreFamily {
public:
    // Runs at every release; may throw.
    std::function<void()> release;
    std::uint32_t status = 0;
    int releases = 0;

    void AtRelease() override
    {
        ++releases;
        if (release) release();
    }
    std::uint32_t StatusFlags() const override { return status; }
};

// Puts a fake in the place of the family of the source `code` of `kind`.
inline FakeStoreFamily& InstallFakeFamily(StoreSet& stores, ItemKind kind, std::uint32_t code)
{
    auto family = std::make_unique<FakeStoreFamily>();
    FakeStoreFamily& ref = *family;
    stores.ReplaceFamily(*FindSource(kind, code), std::move(family));
    return ref;
}
