#pragma once
// Sources named on the command line, turned into channels:
//   text:PATH[@BAUD,SHIFT[,CENTRE[,inverted]]]   already-decoded text
//   demo                                         the built-in bulletins
//   wav:PATH                                     a recording, decoded as audio
//   audio:DEVICE                                 a live input, decoded as audio
#include "card/DecodingChannel.h"

#include <QString>
#include <memory>

namespace cardserver {

// nullptr with the reason in *error when the source cannot be used.
std::unique_ptr<DecodingChannel> createChannel(const QString& source, uint32_t seed, QString* error);

// The line the demo and text sources send on unless told otherwise; a card
// starts tuned to it.
LineParameters defaultLine();

}  // namespace cardserver
