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

AnsiString Pattern(int len)
{
    AnsiString s;
    for (int i = 0; i < len; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

} // namespace

TEST(TBuffer, WritePeekRemoveAndReuse)
{
    TBuffer block(8);
    EXPECT_EQ(block.Write("abcdef", 6), 6);
    EXPECT_EQ(block.Write("ghijk", 5), 2) << "only what fits";
    EXPECT_EQ(block.Write("x", 1), 0);
    EXPECT_EQ(Unsent(block), "abcdefgh");

    EXPECT_EQ(block.Remove(3), 3);
    EXPECT_EQ(Unsent(block), "defgh");
    EXPECT_EQ(block.RdCount(), 3);
    EXPECT_EQ(block.Remove(100), 5) << "at most what is unsent";
    EXPECT_EQ(block.RdCount(), 0);
    EXPECT_EQ(block.WrCount(), 0);
    int len = -1;
    EXPECT_EQ(block.Peek(len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(block.Write("12345678", 8), 8) << "a sent block is reused from its start";
    EXPECT_EQ(block.Write("z", -5), 0);
}

TEST(TBuffer, DefaultAndChangedSize)
{
    EXPECT_EQ(TBuffer(0).BufSize(), 1514);
    EXPECT_EQ(TBuffer(-3).BufSize(), 1514);

    TBuffer block(4);
    block.Write("abcd", 4);
    block.Remove(1);
    block.SetBufSize(10);
    EXPECT_EQ(Unsent(block), "bcd");
    EXPECT_EQ(block.Write("efghijklmn", 10), 6);
    EXPECT_EQ(Unsent(block), "bcdefghij");

    block.SetBufSize(2);
    EXPECT_EQ(Unsent(block), "bcdefghij") << "shrinking never cuts unsent data";

    TBuffer empty(4);
    empty.SetBufSize(0);
    EXPECT_EQ(empty.BufSize(), 1514);
    EXPECT_EQ(empty.WrCount(), 0);
}

TEST(TBufferChain, FillsBlocksOfTheBlockSize)
{
    TBufferChain chain;
    EXPECT_TRUE(AllSent(chain));
    const AnsiString data = Pattern(4000);
    chain.PutData(data.data(), 4000);
    ASSERT_EQ(chain.BlockCount(), 3);
    EXPECT_EQ(chain.Block(0).WrCount(), 1514);
    EXPECT_EQ(chain.Block(1).WrCount(), 1514);
    EXPECT_EQ(chain.Block(2).WrCount(), 972);
    EXPECT_THROW(chain.Block(3), ERangeError);

    AnsiString drained;
    int len = 0;
    while (const char* piece = chain.PeekFirst(len)) {
        const int take = std::min(len, 1000);
        drained.append(piece, take);
        chain.RemoveFirst(take);
    }
    EXPECT_EQ(drained, data) << "bytes leave in order, none lost";
    EXPECT_TRUE(AllSent(chain));
    EXPECT_EQ(chain.BlockCount(), 1) << "the last block stays for reuse";

    chain.PutData("tail", 4);
    EXPECT_EQ(chain.BlockCount(), 1);
    EXPECT_EQ(Unsent(chain.Block(0)), "tail");
    chain.Discard();
    EXPECT_TRUE(AllSent(chain));
    EXPECT_EQ(chain.BlockCount(), 0);
}

TEST(TBufferChain, AppendsBehindPartlySentData)
{
    TBufferChain chain(10);
    chain.PutData("0123456", 7);
    int len = 0;
    chain.PeekFirst(len);
    chain.RemoveFirst(5);
    chain.PutData("789abc", 6);
    ASSERT_EQ(chain.BlockCount(), 2);
    EXPECT_EQ(Unsent(chain.Block(0)), "56789");
    EXPECT_EQ(Unsent(chain.Block(1)), "abc");
}
