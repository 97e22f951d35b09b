// The link layer's byte-wise receive on the serial line: master answers,
// slave requests and both ends of burst mode, bytes cut into any pieces.
// Input: path selector, request command, chunking seed (with selector bit
// 2 also where a second session starts and its command), then the line's
// bytes. The same bytes go once in one piece and once cut; both runs must
// hand up the same frames and errors as a plain second reading of the
// receive rules, and every frame must be one that arrived whole and checked.

#include "LinkFuzzSupport.h"
#include "LinkReference.h"

namespace
{

struct Harness
{
    LinkFuzz::Side whole{LinkFuzz::serialLink()};
    LinkFuzz::Side cut{LinkFuzz::serialLink()};
};

Harness& harness()
{
    static Harness* instance = (FuzzSupport::ensureApplication(), new Harness);
    return *instance;
}

// One session: the bytes once whole, once cut, and by the receive rules.
void receive(const LinkFuzz::Setup& setup, std::uint8_t seed, const QByteArray& stream)
{
    Harness& h = harness();
    h.whole.start(setup);
    h.cut.start(setup);
    LinkFuzz::feed(h.whole.link.get(), stream);
    for (const QByteArray& chunk : LinkFuzz::chunked(stream, seed))
        LinkFuzz::feed(h.cut.link.get(), chunk);

    FUZZ_CHECK(h.whole.recorder.record == h.cut.recorder.record,
               "where the bytes are cut changes nothing handed up");
    LinkFuzz::Reference reference(setup);
    reference.feed(stream);
    LinkFuzz::checkFrames(h.whole.recorder.record, stream, setup, reference.addressUnchecked);
    if (!(h.whole.recorder.record == reference.record))
    {
        h.whole.recorder.record.print("link layer");
        reference.record.print("receive rules");
    }
    FUZZ_CHECK(h.whole.recorder.record == reference.record, "frames and errors follow the receive rules");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::Input input(data, size);
    const LinkFuzz::Header header = LinkFuzz::readHeader(input);
    // Selector bit 2: the line goes on in a second session (another
    // request) after `split` bytes, as one session follows another on a
    // link layer; nothing of the first may leak into the second.
    const bool followUp = header.selector & 0x04;
    const std::uint8_t split = followUp ? input.byte() : 0;
    const std::uint8_t nextCommand = followUp ? input.byte() : 0;
    const QByteArray stream = input.rest();

    if (!followUp)
    {
        receive(header.setup, header.seed, stream);
        return 0;
    }
    receive(header.setup, header.seed, stream.left(split));
    receive(LinkFuzz::setupFrom(header.selector, nextCommand), header.seed, stream.mid(split));
    return 0;
}
