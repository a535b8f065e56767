#pragma once
// Huge pages for large buffers that are filled once and then read all
// over: the advice every PageBuffer mapping gets, and heap vectors
// zero-filled on them (the cost volume and the matcher's padded images).
//
// Why: a buffer of hundreds of megabytes from the heap gets its pages one
// 4 KiB fault at a time as it is first written, and on a virtual machine
// every fault traps to the host (an 840 MB volume took 2.6-2.9 s to zero
// that way here, 0.4-1.6 s on huge pages). Huge pages also spare the page
// walks of the optimizer, which reads the volume a row of one label at a
// time. The heap does not ask for them by itself where the system grants
// them only on request (transparent huge pages set to "madvise").
//
// Takes: a buffer's address and size, or a vector. Owns nothing. Fails:
// never; the advice is only advice (where huge pages are off or short,
// small pages serve). zeroFilledOnHugePages throws std::bad_alloc as the
// vector's own allocation does.
#include <cstddef>
#include <vector>

namespace orbelt {

// Asks that the pages holding [data, data + bytes) be huge pages when
// first touched, where they span at least one huge page.
void adviseHugePages(void* data, std::size_t bytes);

// Makes `values` hold `count` zeros (its old contents and storage go), its
// storage advised as huge pages before the zeros are written.
template <class T>
void zeroFilledOnHugePages(std::vector<T>& values, std::size_t count) {
  std::vector<T>().swap(values);
  values.reserve(count);
  adviseHugePages(values.data(), count * sizeof(T));
  values.assign(count, T{});
}

}  // namespace orbelt
