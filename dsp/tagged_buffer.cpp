#include "dsp/tagged_buffer.h"

#include <cstdlib>

namespace b2 {

namespace {

struct TaggedHeader {
    uint32_t magic;
    uint32_t size;  // bytes after the header
};
static_assert(sizeof(TaggedHeader) == 8, "the header is two 32-bit words");

TaggedHeader* header_of(void* data) {
    return reinterpret_cast<TaggedHeader*>(static_cast<uint8_t*>(data) - sizeof(TaggedHeader));
}

}  // namespace

void tagged_buffer_resize(void** holder, uint32_t size) {
    if (!holder) return;
    if (*holder) {
        TaggedHeader* h = header_of(*holder);
        // Not one of ours: neither free it nor replace it.
        if (h->magic != kTaggedBufferMagic) return;
        std::free(h);
        *holder = nullptr;
    }
    if (size == 0) return;
    // size_t arithmetic: size + 8 cannot wrap for a uint32 size.
    void* block = std::calloc(1, static_cast<size_t>(size) + sizeof(TaggedHeader));
    if (!block) return;
    TaggedHeader* h = static_cast<TaggedHeader*>(block);
    h->magic = kTaggedBufferMagic;
    h->size = size;
    *holder = h + 1;
}

}  // namespace b2
