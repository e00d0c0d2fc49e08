#pragma once

#include "core/Schema.h"
#include "core/Store.h"

#include <memory>

// A benchmark's store in the form the engine runs on after its start-up:
// every table, then every upgrade step, since the indexes and triggers the
// upgrade adds are part of what each insert costs.
inline std::unique_ptr<Store> openBenchStore(const QString& file)
{
    auto store = Store::openFile(file, true);
    Schema::createMissingTables(*store);
    Schema::upgrade(*store);
    return store;
}
