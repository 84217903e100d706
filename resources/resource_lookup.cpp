#include <cstring>

#include "resources/resource_table.h"

namespace b2 {

const resource_entry* find_resource(const char* name) {
    if (!name) return nullptr;
    const resource_entry* table = resource_table();
    for (int i = 0; i < resource_count(); ++i)
        if (std::strcmp(table[i].name, name) == 0) return &table[i];
    return nullptr;
}

}  // namespace b2
