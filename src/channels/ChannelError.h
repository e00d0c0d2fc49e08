#pragma once

#include "core/EngineError.h"

// An error of a delivery channel: a gateway fetch that failed or timed out,
// or a modem port that could not be opened. It ends the send and reaches the
// tick's guard like a StoreError.
//
// Numbers: a transport failure of a fetch carries the network error's code
// (QNetworkReply::NetworkError, e.g. 1 connection refused, 2 remote host
// closed); an answer with an HTTP error status carries that status (404,
// 500, ...); the others are listed here.
class ChannelError : public EngineError
{
public:
    enum : int
    {
        TimedOut = 35761,       // no complete answer within the fetch time-out
        ReplyTooLarge = 35762,  // the answer grew beyond HttpFetcher::MaxReplyBytes
        RedirectedAway = 35763, // the gateway sent the request on to another host or scheme
        NoModemDevice = 8002,   // no serial device for the port number, or it does not exist
        ModemInUse = 8005,      // the device is locked by another program or not permitted
        ModemOpen = 8010,       // any other reason the device cannot be opened
    };

    using EngineError::EngineError;
};
