#pragma once
// Sources named on the command line, turned into channels:
//   text:PATH[@BAUD,SHIFT[,CENTRE[,inverted]]]   already-decoded text
//   demo                                         the built-in bulletins
//   wav:PATH                                     a WAV or FLAC recording, decoded as audio
//   raw:PATH@RATE[,s16le|f32le]                  mono PCM from a file or a pipe ("-": standard input)
//   udp:[ADDR:]PORT[@RATE[,FORMAT]]              UDP audio as gqrx sends it (48000,s16le on loopback)
//   audio:DEVICE                                 a live input, decoded as audio
//   SOURCE+SOURCE[+SOURCE[+SOURCE]]              two to four audio sources: receivers of one
//                                                broadcast, decoded as one (udp:7355+udp:7356)
#include "card/DecodingChannel.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace cardserver {

// nullptr with the reason in *error when the source cannot be used.
std::unique_ptr<DecodingChannel> createChannel(const QString& source, uint32_t seed, QString* error);

bool isAudioSource(const QString& source);
// The parts of a combined source ("udp:7355+udp:7356"): split at each '+'
// that starts another audio source, so a '+' inside a file name stays.
// One part for a plain source.
QStringList combinedParts(const QString& source);
// A source that one input opens for the whole card: a device, a UDP port, a pipe.
bool opensOnce(const QString& source);

// The line the demo and text sources send on unless told otherwise; a card
// starts tuned to it.
LineParameters defaultLine();

}  // namespace cardserver
