// The storage a thread keeps of a freed object (client, socket, send block):
// the next object of that size made on the thread gets it, one of another
// size never does, every thread keeps its own, and a thread that ends frees
// what it kept (the leak checker watches; the address checker watches every
// byte written into a handed-out block).
#include "net/HttpProt.h"
#include "net/ThreadSpare.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

// Each case has a spare of its own.
struct TSizesTag {};
struct TThreadsTag {};
struct TSeveralTag {};

// A client larger than THttpCli, as a derived client of a test or a program
// may be: its storage must not be the smaller block a plain client left.
class TLargerClient : public THttpCli {
public:
    TLargerClient() : THttpCli(nullptr) { std::memset(Tail, 0x5A, sizeof Tail); }
    char Tail[512];
};

} // namespace

TEST(ThreadSpare, OnlyABlockOfTheSizeAskedForIsHandedOutAgain)
{
    using TSpare = TThreadSpare<TSizesTag>;
    void* kept = TSpare::Take(64);
    TSpare::Give(kept, 64);
    void* larger = TSpare::Take(128);
    EXPECT_NE(larger, kept);
    std::memset(larger, 1, 128);
    // The thread keeps one block: the second one given back is freed.
    TSpare::Give(larger, 128);
    void* again = TSpare::Take(64);
    EXPECT_EQ(again, kept);
    void* fresh = TSpare::Take(64);
    EXPECT_NE(fresh, kept);
    std::memset(again, 2, 64);
    std::memset(fresh, 3, 64);
    TSpare::Give(again, 64);
    TSpare::Give(fresh, 64);
}

TEST(ThreadSpare, UpToKeepBlocksAreKeptAndTheLastGivenComesFirst)
{
    using TSpare = TThreadSpare<TSeveralTag, 3>;
    void* blocks[4];
    for (void*& block : blocks)
        block = TSpare::Take(80);
    for (void* block : blocks)
        TSpare::Give(block, 80);
    EXPECT_EQ(TSpare::Take(80), blocks[2]);
    EXPECT_EQ(TSpare::Take(80), blocks[1]);
    EXPECT_EQ(TSpare::Take(80), blocks[0]);
    void* fresh = TSpare::Take(80);
    std::memset(fresh, 5, 80);
    // Kept blocks are all of one size: one of another size is freed.
    TSpare::Give(blocks[0], 80);
    TSpare::Give(fresh, 80);
    void* other = TSpare::Take(40);
    TSpare::Give(other, 40);
    EXPECT_EQ(TSpare::Take(80), fresh);
    EXPECT_EQ(TSpare::Take(80), blocks[0]);
    TSpare::Give(blocks[0], 80);
    TSpare::Give(blocks[1], 80);
    TSpare::Give(blocks[2], 80);
    TSpare::Give(fresh, 80);
}

TEST(ThreadSpare, EachThreadKeepsItsOwnAndFreesItWhenItEnds)
{
    using TSpare = TThreadSpare<TThreadsTag>;
    void* mine = TSpare::Take(96);
    TSpare::Give(mine, 96);
    void* theirs = nullptr;
    std::thread([&] {
        theirs = TSpare::Take(96);
        std::memset(theirs, 4, 96);
        TSpare::Give(theirs, 96);
    }).join();
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(TSpare::Take(96), mine);
    TSpare::Give(mine, 96);
}

TEST(ThreadSpare, ClientsOfOtherSizesGetStorageOfTheirOwn)
{
    for (int round = 0; round < 3; ++round) {
        auto plain = std::make_unique<THttpCli>(nullptr);
        plain.reset();
        auto larger = std::make_unique<TLargerClient>();
        EXPECT_EQ(larger->Tail[sizeof larger->Tail - 1], 0x5A);
        EXPECT_EQ(larger->State(), httpReady);
        larger.reset();
        plain = std::make_unique<THttpCli>(nullptr);
        EXPECT_EQ(plain->Agent, "Mozilla/3.0 (compatible)");
        EXPECT_TRUE(plain->RcvdHeader().Count() == 0);
    }
}

// A client's long default settings take the buffers of the last client
// freed on its thread: whatever that client was set to, the next one starts
// from the defaults, and two clients alive at once hold texts of their own.
TEST(ThreadSpare, ANewClientHasTheDefaultSettingsWhateverTheFreedOneWasSetTo)
{
    const AnsiString longText(300, 'x');
    auto first = std::make_unique<THttpCli>(nullptr);
    first->Agent = longText;
    first->Accept = "";
    first->ContentTypePost = "text/plain";
    first.reset();
    THttpCli next(nullptr);
    EXPECT_EQ(next.Agent, "Mozilla/3.0 (compatible)");
    EXPECT_EQ(next.Accept, "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    EXPECT_EQ(next.ContentTypePost, "application/x-www-form-urlencoded");
    THttpCli other(nullptr);
    other.Agent = longText;
    EXPECT_EQ(next.Agent, "Mozilla/3.0 (compatible)");
    EXPECT_EQ(other.Accept, next.Accept);
}

TEST(ThreadSpare, ClientsMadeAndFreedOnThreadsThatEndLeaveNothing)
{
    for (int k = 0; k < 4; ++k) {
        std::thread([] {
            for (int i = 0; i < 3; ++i) {
                THttpCli client(nullptr);
                auto heap = std::make_unique<THttpCli>(nullptr);
                heap->URL = "http://127.0.0.1/";
            }
        }).join();
    }
}

#if defined(__SANITIZE_ADDRESS__)
// A kept block is off limits until it is handed out again: a use of the
// freed object it held is reported as one.
TEST(ThreadSpare, AKeptBlockIsOffLimitsUntilItIsTakenAgain)
{
    struct TPoisonTag {};
    using TSpare = TThreadSpare<TPoisonTag>;
    char* block = static_cast<char*>(TSpare::Take(64));
    TSpare::Give(block, 64);
    EXPECT_DEATH(*static_cast<volatile char*>(block + 10) = 1, "use-after-poison");
    char* again = static_cast<char*>(TSpare::Take(64));
    ASSERT_EQ(again, block);
    *static_cast<volatile char*>(again + 10) = 1;
    TSpare::Give(again, 64);
}
#endif
