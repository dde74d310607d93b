// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "compression/encodedpacket.h"

// Where the compressor delivers its packets. The compressor thread calls all
// three; push() must return at once, without waiting on any network.
class PacketSink {
public:
    virtual ~PacketSink() = default;
    virtual void open(int pWidth, int pHeight) = 0; // an encoder opened: a key frame comes first
    virtual void push(const EncodedPacket &pPacket) = 0;
    virtual void close() = 0; // the encoder closed
};
