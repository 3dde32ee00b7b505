// What a serial device server sends: any stream ends in board bytes or a clean refusal, the
// same however the reads cut it, and never holds more than a subnegotiation's worth.
#include "fuzz_target.h"
#include "port/telnet_codec.h"

namespace {
struct Run {
    QByteArray data;
    QList<trv::telnet::Event> events;
    bool ok = true;
};

// Feeds the stream in reads of `step` bytes (the whole stream when 0).
Run decode(QByteArrayView stream, qsizetype step) {
    trv::telnet::Decoder decoder;
    Run run;
    if (step == 0) step = stream.size() + 1;
    for (qsizetype from = 0; from < stream.size(); from += step)
        run.ok = decoder.feed(stream.sliced(from, std::min(step, stream.size() - from)), &run.data,
                              &run.events);
    TRV_FUZZ_CHECK(run.ok == !decoder.failed());
    return run;
}
}  // namespace

int trvFuzzOne(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView stream(reinterpret_cast<const char*>(data), qsizetype(size));
    const Run whole = decode(stream, 0);
    // Commands only ever take bytes away from the board's, and no event outgrows the limit.
    TRV_FUZZ_CHECK(whole.data.size() <= stream.size());
    for (const auto& event : whole.events) {
        TRV_FUZZ_CHECK(event.payload.size() < trv::telnet::Decoder::kMaxSubnegotiation);
        TRV_FUZZ_CHECK(event.at >= 0 && event.at <= whole.data.size());
    }
    // Cut into reads of one byte and of a length the input picks: the same outcome.
    const qsizetype step = size ? 1 + data[0] % 7 : 1;
    for (qsizetype s : {qsizetype(1), step}) {
        const Run cut = decode(stream, s);
        TRV_FUZZ_CHECK(cut.ok == whole.ok && cut.data == whole.data && cut.events == whole.events);
    }
    // Board bytes escaped on the way out come back whole.
    const Run back = decode(trv::telnet::escapeData(stream), 0);
    TRV_FUZZ_CHECK(back.ok && back.events.isEmpty() && back.data == stream);
    return 0;
}
