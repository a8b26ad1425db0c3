#include "net/WSockbuf.h"

#include <gtest/gtest.h>

namespace {

AnsiString Unsent(const TBuffer& block)
{
    int len = 0;
    const char* data = block.Peek(len);
    return data ? AnsiString(data, len) : AnsiString();
}

bool AllSent(TBufferChain& chain)
{
    int len = 0;
    return chain.PeekFirst(len) == nullptr && len == 0;
}

} // namespace

TEST(TBuffer, WritePeekRemoveReuseAndResize)
{
    TBuffer block(8);
    EXPECT_EQ(block.Write("abcdef", 6), 6);
    EXPECT_EQ(block.Write("ghijk", 5), 2) << "only what fits";
    EXPECT_EQ(block.Write("z", -5), 0);
    EXPECT_EQ(block.Remove(3), 3);
    EXPECT_EQ(Unsent(block), "defgh");
    EXPECT_EQ(block.Remove(100), 5) << "at most what is unsent";
    int len = -1;
    EXPECT_EQ(block.Peek(len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(block.Write("12345678", 8), 8) << "a sent block is reused from its start";

    EXPECT_EQ(TBuffer(-3).BufSize(), 1514);
    TBuffer resized(4);
    resized.Write("abcd", 4);
    resized.Remove(1);
    resized.SetBufSize(10);
    EXPECT_EQ(resized.Write("efghijklmn", 10), 6);
    EXPECT_EQ(Unsent(resized), "bcdefghij");
    resized.SetBufSize(2);
    EXPECT_EQ(Unsent(resized), "bcdefghij") << "shrinking never cuts unsent data";
}

TEST(TBufferChain, BytesLeaveInOrderAndAppendBehindPartlySentData)
{
    TBufferChain chain;
    AnsiString data;
    for (int i = 0; i < 4000; ++i)
        data += static_cast<char>('a' + i % 26);
    chain.PutData(data.data(), 4000);
    ASSERT_EQ(chain.BlockCount(), 3);
    EXPECT_THROW(chain.Block(3), ERangeError);
    AnsiString drained;
    int len = 0;
    while (const char* piece = chain.PeekFirst(len)) {
        const int take = std::min(len, 1000);
        drained.append(piece, take);
        chain.RemoveFirst(take);
    }
    EXPECT_EQ(drained, data) << "none lost";
    EXPECT_TRUE(AllSent(chain));
    EXPECT_EQ(chain.BlockCount(), 1) << "the last block stays for reuse";
    chain.Discard();
    EXPECT_EQ(chain.BlockCount(), 0);

    TBufferChain small(10);
    small.PutData("0123456", 7);
    small.PeekFirst(len);
    small.RemoveFirst(5);
    small.PutData("789abc", 6);
    ASSERT_EQ(small.BlockCount(), 2);
    EXPECT_EQ(Unsent(small.Block(0)), "56789");
    EXPECT_EQ(Unsent(small.Block(1)), "abc");
}
