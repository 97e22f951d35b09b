// The link layer's byte-wise receive on the serial line: master answers,
// slave requests and both ends of burst mode, bytes cut into any pieces.
// Input: path selector, request command, chunking seed, then the line's
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
    const QByteArray stream = input.rest();

    Harness& h = harness();
    h.whole.start(header.setup);
    h.cut.start(header.setup);
    LinkFuzz::feed(h.whole.link.get(), stream);
    for (const QByteArray& chunk : LinkFuzz::chunked(stream, header.seed))
        LinkFuzz::feed(h.cut.link.get(), chunk);

    FUZZ_CHECK(h.whole.recorder.record == h.cut.recorder.record,
               "where the bytes are cut changes nothing handed up");
    LinkFuzz::checkFrames(h.whole.recorder.record, stream, header.setup);
    LinkFuzz::Reference reference(header.setup);
    reference.feed(stream);
    FUZZ_CHECK(h.whole.recorder.record == reference.record, "frames and errors follow the receive rules");
    return 0;
}
