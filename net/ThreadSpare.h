// TThreadSpare: the storage of freed objects of a class, kept by the thread
// that freed them for the next objects of the same size made there. A
// download thread makes and frees one client (and one socket) per
// download, the window a worker per download; a block of their size is a
// large request to the heap, which first sweeps up every small block freed
// since, so handing blocks on spares that work. Take and Give serve the
// class's operator new and operator delete: Take returns a kept block when
// the blocks kept have the size asked for and a new block otherwise; Give
// keeps the block while the thread keeps fewer than Keep blocks, all of one
// size, and frees it otherwise. A thread frees its kept blocks when it ends.
// Under AddressSanitizer a kept block is poisoned until it is taken again,
// so that a use of a freed object is still caught.
#pragma once

#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define SPARE_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define SPARE_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define SPARE_POISON(p, n) ((void)(p), (void)(n))
#define SPARE_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

template <class T, int Keep = 1>
class TThreadSpare {
    static_assert(Keep > 0);

public:
    static void* Take(std::size_t Size)
    {
        if (Kept.Count > 0 && Kept.Size == Size) {
            void* block = Kept.Blocks[--Kept.Count];
            SPARE_UNPOISON(block, Size);
            return block;
        }
        return ::operator new(Size);
    }

    static void Give(void* Block, std::size_t Size) noexcept
    {
        if (!Kept.Closed && Kept.Count < Keep && (Kept.Count == 0 || Kept.Size == Size)) {
            // Registers the release at the thread's end before the block
            // is kept.
            Releaser.Armed = true;
            Kept.Blocks[Kept.Count++] = Block;
            Kept.Size = Size;
            SPARE_POISON(Block, Size);
            return;
        }
        ::operator delete(Block, Size);
    }

private:
    // Trivially destructible, so that an object freed while the thread
    // ends (after the releaser has run) still finds it, closed.
    struct TKept {
        void* Blocks[Keep];
        int Count;
        std::size_t Size;
        bool Closed;
    };

    struct TReleaser {
        TReleaser() = default;
        TReleaser(const TReleaser&) = delete;
        TReleaser& operator=(const TReleaser&) = delete;
        ~TReleaser()
        {
            while (Kept.Count > 0) {
                void* block = Kept.Blocks[--Kept.Count];
                SPARE_UNPOISON(block, Kept.Size);
                ::operator delete(block, Kept.Size);
            }
            Kept.Closed = true;
        }
        bool Armed = false;
    };

    static inline thread_local constinit TKept Kept{{}, 0, 0, false};
    static inline thread_local TReleaser Releaser;
};
