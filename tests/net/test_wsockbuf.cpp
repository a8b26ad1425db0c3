// The send buffer under random use, against a plain string: bytes leave in
// the order they came, none lost or doubled, an emptied block takes a whole
// block again, and resizing never cuts unsent data (the sanitizers watch
// every copy).
#include "net/WSockbuf.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::string Unsent(const TBuffer& block)
{
    int len = 0;
    const char* data = block.Peek(len);
    return data ? std::string(data, static_cast<size_t>(len)) : std::string();
}

} // namespace

TEST(SendBuffer, RandomUseKeepsEveryByteInOrder)
{
    std::mt19937 random(1514);
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    TBuffer block(64);
    TBufferChain chain(100);
    std::string blockModel, chainIn, chainOut;
    for (int step = 0; step < 20000; ++step) {
        std::string data(static_cast<size_t>(below(300)), '\0');
        for (char& c : data)
            c = static_cast<char>(below(256));
        const int len = static_cast<int>(data.size()), part = below(400) - 50;
        int peeked = 0;
        switch (below(6)) {
        case 0: {
            const bool empty = blockModel.empty();
            const int took = block.Write(data.data(), len);
            ASSERT_TRUE(empty ? took == std::min(len, block.BufSize()) : took <= len) << step;
            blockModel += data.substr(0, static_cast<size_t>(took));
            break;
        }
        case 1:
            EXPECT_EQ(block.Remove(part), std::clamp(part, 0, static_cast<int>(blockModel.size())));
            blockModel.erase(0, static_cast<size_t>(std::max(part, 0)));
            break;
        case 2: block.SetBufSize(part); break;
        case 3: chain.PutData(data.data(), len); chainIn += data; break;
        case 4:
            if (const char* piece = chain.PeekFirst(peeked)) {
                const int take = std::min(peeked, 1 + below(peeked));
                chainOut.append(piece, static_cast<size_t>(take));
                chain.RemoveFirst(take);
            }
            break;
        default:
            if (below(50) == 0) {
                chain.Discard();
                chainIn = chainOut;
            }
        }
        ASSERT_EQ(Unsent(block), blockModel) << step;
    }
    int len = 0;
    while (const char* piece = chain.PeekFirst(len)) {
        chainOut.append(piece, static_cast<size_t>(len));
        chain.RemoveFirst(len);
    }
    EXPECT_TRUE(chainOut == chainIn);
}

// A backlog of many blocks: the count and the blocks seen from the front stay
// right while sent blocks leave it and new ones come behind.
TEST(SendBuffer, ALongBacklogLeavesBlockByBlockInOrder)
{
    TBufferChain chain(10);
    std::string in, out;
    const auto put = [&](int blocks) {
        for (int i = 0; i < blocks; ++i) {
            const std::string block = std::to_string(1000000000 + static_cast<int>(in.size()) / 10);
            chain.PutData(block.data(), static_cast<int>(block.size()));
            in += block;
        }
    };
    const auto send = [&](int blocks) {
        for (int i = 0; i < blocks; ++i) {
            int len = 0;
            const char* data = chain.PeekFirst(len);
            ASSERT_EQ(len, 10);
            ASSERT_EQ(std::string(data, 10), Unsent(chain.Block(0)));
            out.append(data, 10);
            chain.RemoveFirst(len);
        }
    };
    put(300);
    EXPECT_EQ(chain.BlockCount(), 300);
    send(200);
    // The emptied front block leaves on the next look, the last one stays.
    int len = 0;
    chain.PeekFirst(len);
    EXPECT_EQ(chain.BlockCount(), 100);
    EXPECT_EQ(Unsent(chain.Block(99)), in.substr(2990));
    put(150);
    EXPECT_EQ(chain.BlockCount(), 250);
    send(250);
    EXPECT_EQ(chain.PeekFirst(len), nullptr);
    EXPECT_EQ(chain.BlockCount(), 1);
    EXPECT_EQ(out, in);
    EXPECT_THROW(chain.Block(1), ERangeError);
    chain.Discard();
    EXPECT_EQ(chain.BlockCount(), 0);
    put(1);
    EXPECT_EQ(chain.BlockCount(), 1);
}
