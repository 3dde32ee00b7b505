#include "protocol/image_transfer.h"

#include "port/serial_port.h"
#include "protocol/exchange.h"
#include "protocol/frames.h"
#include "protocol/read_reply.h"

namespace trv {
namespace {
// One acknowledgement for each frame of the write.
constexpr qint64 kWriteReplySize = kWriteFrames * wire::kAckSize;

// Every transfer starts by waking the board and dropping whatever it said before.
void openTransfer(Exchange& exchange) {
    exchange.sendBurst("SSS", 5);
    exchange.settle();
    exchange.discardInput();
    exchange.port().setDtr(false);
}
}  // namespace

ReadOutcome readImage(Exchange& exchange, CellTexts& cells, ReadVariant variant,
                      history::Direction kind) {
    // A stop asked before the first frame sends nothing; once begun, the read runs to its
    // end, so the board is not left answering frames to a line nobody reads.
    if (exchange.stopping()) return ReadOutcome::TimedOut;
    const Exchange::Unstoppable whole(exchange);
    openTransfer(exchange);
    for (const char* command : {"SSS", "ZA0", "Y00", "ZA1"}) exchange.sendFrame(command);
    for (int i = 0; i < kImageSize; ++i) exchange.sendFrame("X1X");
    exchange.sendFrame("X6X");
    if (variant == ReadVariant::ClosingRrr) exchange.sendFrame("RRR");

    const auto outcome = exchange.waitReply([](qint64 n) { return n >= kReadReplySize; });
    const QByteArray reply =
        outcome == Exchange::Outcome::Ready ? exchange.readReply() : QByteArray();
    if (exchange.portLost()) return ReadOutcome::Lost;
    if (outcome == Exchange::Outcome::TimedOut) return ReadOutcome::TimedOut;
    // A reply whose frames are out of place (noise on the line, the tail of an earlier reply)
    // holds no image: it fails like silence rather than fill cells with characters taken
    // from the wrong places.
    const std::optional<CellTexts> texts = parseReadReply(reply);
    if (!texts) return ReadOutcome::TimedOut;
    cells = *texts;
    exchange.imageTransferred(cells, kind);
    return ReadOutcome::Read;
}

QString notBytesReason() {
    return QStringLiteral(
        "la carte a répondu des caractères qui ne sont pas des octets : liaison perturbée ?");
}

QString unsendableCellMessage(int address) {
    return nonByteCellMessage(QStringLiteral("Envoi impossible"), address) +
           QStringLiteral(" Rien n'a été envoyé.");
}

WriteOutcome writeImage(Exchange& exchange, const CellTexts& cells) {
    if (firstNonByteCell(cells)) return WriteOutcome::Refused;
    // Likewise: once begun, the board takes the whole image (and acknowledges it) rather
    // than a part cut at some frame.
    if (exchange.stopping()) return WriteOutcome::TimedOut;
    const Exchange::Unstoppable whole(exchange);
    openTransfer(exchange);
    for (int block = 0; block < 8; ++block) {
        exchange.sendFrame("SSS");
        exchange.sendFrame("ZA0");
        exchange.sendFrame(frames::dataCommand(byteText(unsigned(16 * block))));
        for (int i = 16 * block; i < 16 * block + 16; ++i)
            exchange.sendFrame(frames::dataCommand(cells[std::size_t(i)]));
        exchange.sendFrame("WWW");
    }
    const auto outcome = exchange.waitReply([](qint64 n) { return n == kWriteReplySize; });
    exchange.readReply();
    if (exchange.portLost()) return WriteOutcome::Lost;
    if (outcome == Exchange::Outcome::TimedOut) return WriteOutcome::TimedOut;
    exchange.imageTransferred(cells, history::Direction::Written);
    return WriteOutcome::Written;
}

void markFailed(EepromImage& image) { image.fill(QStringLiteral("Er"), CellState::Failed); }

bool markNonBytesFailed(EepromImage& image) {
    bool any = false;
    for (int address = 0; address < kImageSize; ++address) {
        if (isByteText(image.text(address))) continue;
        image.setState(address, CellState::Failed);
        any = true;
    }
    return any;
}

ReadOutcome LIT_24C01(Exchange& exchange, EepromImage& image, ReadVariant variant) {
    CellTexts cells = image.texts();
    const ReadOutcome outcome = readImage(exchange, cells, variant);
    if (outcome != ReadOutcome::Read) {
        markFailed(image);
        return outcome;
    }
    image.setTexts(cells);
    image.setAllStates(CellState::Read);
    markNonBytesFailed(image);
    return outcome;
}

WriteOutcome ECRIT_24C01(Exchange& exchange, EepromImage& image) {
    const WriteOutcome outcome = writeImage(exchange, image.texts());
    if (outcome == WriteOutcome::TimedOut || outcome == WriteOutcome::Lost) markFailed(image);
    if (outcome == WriteOutcome::Written) image.setAllStates(CellState::Written);
    return outcome;
}

}  // namespace trv
