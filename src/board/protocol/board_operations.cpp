#include "protocol/board_operations.h"

#include <algorithm>

#include "port/port_assignment.h"
#include "port/serial_port.h"
#include "protocol/exchange.h"
#include "protocol/link_probe.h"
#include "settings/image_diff.h"
#include "settings/luminosity_codec.h"

namespace trv::board {
namespace {

Result silentRead(Exchange& exchange, ReplyControl reply) {
    if (reply != ReplyControl::Oui) sendClosingBurst(exchange);
    Result r;
    r.outcome = Outcome::BoardSilent;
    r.cells.fill(QStringLiteral("Er"));
    return r;
}

// A port lost anywhere in an operation outranks whatever it concluded: nothing after the
// loss reached the board, and the image in hand may be half a transfer. Every operation
// ends through here.
Result unlessLost(const Exchange& exchange, Result r) {
    if (!exchange.portLost()) return r;
    r.outcome = Outcome::PortLost;
    r.lostPort = exchange.lostPortNumber();
    return r;
}

Result readSteps(Exchange& exchange, ReplyControl reply, ReadVariant variant, bool checkSignature) {
    exchange.sendBurst("SSS", 11);
    exchange.sendFrame("PPP");
    exchange.settle();
    Result r;
    if (readImage(exchange, r.cells, variant) != ReadOutcome::Read)
        return silentRead(exchange, reply);
    // Characters that are not bytes come from the link, not from the EEPROM: no signature
    // could be found in them, and nothing is to be decoded from them.
    const bool notBytes = firstNonByteCell(r.cells).has_value();
    if (checkSignature && signatureRefused(r.cells, reply)) {
        r.outcome = notBytes ? Outcome::NotBytes : Outcome::SignatureMismatch;
        return r;
    }
    sendClosingBurst(exchange);
    if (notBytes) r.outcome = Outcome::NotBytes;
    return r;
}

Result readSettings(Exchange& exchange, ReplyControl reply, ReadVariant variant,
                    bool checkSignature) {
    return unlessLost(exchange, readSteps(exchange, reply, variant, checkSignature));
}

using Encode = std::function<bool(CellTexts&)>;

Result programSteps(Exchange& exchange, ReplyControl reply, const Encode& encode, bool luminosity,
                    const ConfirmWrite& confirm) {
    exchange.sendBurst("SSS", 11);
    exchange.settle();
    Result r;
    // The board's own image is the base of the write. Without it the write would overwrite
    // every other setting with the failure marks, so it ends as a failed read.
    if (readImage(exchange, r.cells, ReadVariant::Plain, history::Direction::ReadBeforeWrite) !=
        ReadOutcome::Read)
        return silentRead(exchange, reply);
    // An image with characters that are not bytes came through a disturbed link: nothing is
    // decoded from it or encoded into it, and it is never written back.
    if (firstNonByteCell(r.cells)) {
        sendClosingBurst(exchange);
        r.outcome = Outcome::NotBytes;
        return r;
    }
    r.found = r.cells;
    if (!encode(r.cells)) {
        sendClosingBurst(exchange);
        r.outcome = Outcome::SignatureMismatch;
        return r;
    }
    if (confirm && !confirm(*r.found, r.cells)) {
        // Declined: the board keeps its image and goes back to sleep.
        sendClosingBurst(exchange);
        r.cells = *r.found;
        r.outcome = Outcome::Cancelled;
        return r;
    }
    exchange.settle();
    const WriteOutcome written = writeImage(exchange, r.cells);
    if (written == WriteOutcome::Refused) {
        // Nothing was written; the board is only sent back to sleep.
        r.refusedCell = firstNonByteCell(r.cells);
        sendClosingBurst(exchange);
        r.outcome = Outcome::CellRefused;
        return r;
    }
    exchange.sendFrame("OOO");
    exchange.settle();
    if (luminosity) exchange.sendFrame("LLL");
    sendClosingBurst(exchange);
    r.outcome = written == WriteOutcome::Written ? Outcome::Done : Outcome::WriteFailed;
    return r;
}

// The programming sequence both windows share; encode puts the settings into the image the
// preliminary read found, or answers false to leave it unprogrammed.
Result programImage(Exchange& exchange, ReplyControl reply, const Encode& encode, bool luminosity,
                    const ConfirmWrite& confirm) {
    return unlessLost(exchange, programSteps(exchange, reply, encode, luminosity, confirm));
}

QList<int> span(int first, int count) {
    QList<int> list;
    for (int i = 0; i < count; ++i) list << first + i;
    return list;
}

counter::ValueText valueOr(const std::optional<counter::ValueText>& value, const CellTexts& cells,
                           int field) {
    return value ? *value : *counter::decodeField(cells, field);
}

}  // namespace

void sendClosingBurst(Exchange& exchange) {
    exchange.sendBurst("RRR", 5);
    exchange.port().drain(int(Exchange::kReplyLimit.count()));
}

Result readCounter(Exchange& exchange, ReplyControl reply) {
    return readSettings(exchange, reply, ReadVariant::Plain, true);
}

bool signatureRefused(const CellTexts& cells, ReplyControl reply) {
    return reply == ReplyControl::Oui && !counter::hasSignature(cells);
}

Result readLuminosity(Exchange& exchange, ReplyControl reply) {
    return readSettings(exchange, reply, ReadVariant::Plain, false);
}

Result readSwitches(Exchange& exchange, ReplyControl reply) {
    return readSettings(exchange, reply, ReadVariant::ClosingRrr, false);
}

Result programCounter(Exchange& exchange, ReplyControl reply, const CounterSettings& settings,
                      bool requireSignature, const ConfirmWrite& confirm) {
    bool down = false;
    Result r = programImage(
        exchange, reply,
        [&](CellTexts& cells) {
            if (requireSignature && !counter::hasSignature(cells)) return false;
            const CellTexts board = cells;
            for (std::size_t i = 0; i < counter::kProgrammedFields.size(); ++i) {
                const int field = counter::kProgrammedFields[i];
                if (settings.values[i]) counter::encodeField(cells, field, *settings.values[i]);
            }
            counter::RangeColours colours = counter::readRangeColours(board);
            for (std::size_t k = 0; k < colours.size(); ++k)
                if (settings.colours[k]) colours[k] = *settings.colours[k];
            counter::writeRangeColours(cells, colours);
            down = counter::countsDown(valueOr(settings.values[0], board, 0),
                                       valueOr(settings.values[1], board, 1));
            const counter::Flags boardFlags = counter::readFlags(board);
            counter::writeFlags(cells, {settings.polrel1.value_or(boardFlags.polrel1),
                                        settings.polrel2.value_or(boardFlags.polrel2), down});
            counter::writeSignature(cells);
            return true;
        },
        false, confirm);
    r.countsDown = down;
    return r;
}

QList<int> counterAddresses() {
    QList<int> addresses;
    for (int field : counter::kProgrammedFields) {
        const int length =
            field == counter::kStepField ? counter::kStepRecordLength : counter::kRecordLength;
        addresses << span(*counter::recordBase(field), length);
    }
    addresses << span(counter::kColourCell12, 3) << counter::kFlagCell
              << span(counter::kSignatureBase, counter::kSignatureLength);
    std::sort(addresses.begin(), addresses.end());
    return addresses;
}

QList<int> luminosityAddresses() {
    return {luminosity::kModeCell, luminosity::kPeriodCell, luminosity::kThresholdCell};
}

Result programLuminosity(Exchange& exchange, ReplyControl reply, const LuminositySettings& settings,
                         const ConfirmWrite& confirm) {
    return programImage(
        exchange, reply,
        [&](CellTexts& cells) {
            // Only cells 60 to 62 carry the settings.
            if (settings.period) luminosity::encodePeriod(cells, *settings.period);
            luminosity::encodeThreshold(cells, settings.threshold);
            luminosity::encodeMode(cells, settings.mode);
            return true;
        },
        true, confirm);
}

Verification verifyImage(Exchange& exchange, const CellTexts& sent) {
    Verification v;
    const ReadOutcome read =
        readImage(exchange, v.found, ReadVariant::Plain, history::Direction::Verification);
    if (exchange.portLost()) {
        v.outcome = Verification::Outcome::PortLost;
        return v;
    }
    if (read != ReadOutcome::Read) {
        v.outcome = Verification::Outcome::BoardSilent;
        return v;
    }
    v.addresses = diff::untakenAddresses(sent, v.found);
    if (!v.addresses.isEmpty()) {
        v.outcome = Verification::Outcome::Differs;
        v.firstDifference = v.addresses.front();
    }
    return v;
}

WholeWrite writeWholeImage(Exchange& exchange, const CellTexts& cells, bool verify) {
    WholeWrite w;
    w.outcome = writeImage(exchange, cells);
    if (verify && (w.outcome == WriteOutcome::Written || w.outcome == WriteOutcome::TimedOut))
        w.verification = verifyImage(exchange, cells);
    return w;
}

Result readBack(Exchange& exchange, Result programmed, bool sleepAfter) {
    if (programmed.outcome != Outcome::Done && programmed.outcome != Outcome::WriteFailed)
        return programmed;
    programmed.verification = verifyImage(exchange, programmed.cells);
    if (sleepAfter) sendClosingBurst(exchange);
    return unlessLost(exchange, std::move(programmed));
}

PortState detectPort(Exchange& exchange, int portNumber, const std::function<void()>& opened) {
    if (!exchange.port().open(portNumber)) return PortState::Absent;
    if (opened) opened();
    if (probeOnce(exchange, ProbeReading::Exact).answered) return PortState::Board;
    // A port that vanished under the probe is one more port that fails.
    return exchange.port().lost() ? PortState::Absent : PortState::Free;
}

void detectPorts(Exchange& exchange, const DetectionSteps& steps) {
    for (int n = 1; n <= kAssignablePorts; ++n) {
        if (steps.trying) steps.trying(n);
        const PortState state = detectPort(exchange, n, [&] {
            if (steps.opened) steps.opened(n);
        });
        if (steps.done) steps.done(n, state);
    }
}

}  // namespace trv::board
