// Exit statuses of korvanext-cli: one class of failure each, so that a script
// can tell them apart. A link failure is 10 + the link error code.
#pragma once

enum ExitCode {
    kOk = 0,
    kUsage = 1,       // a wrong command line
    kFileError = 2,   // a file cannot be read or written
    kDataError = 3,   // bad input data: not a configuration file, an image or firmware of the wrong size or content
    kRefused = 4,     // declined or refused
    kDamaged = 5,     // the gateway's data damaged or not confirmed, or not a gateway of this kind
    kDiffers = 6,     // diff and compare: differences found; apply --check: the gateway would change
    kLinkError = 10,  // + the link error code:
    kLineLost = 10,
    kInterrupted = 11,
    kNoAnswer = 12,
    kBadReply = 13,
    kSendFailed = 14,
    kPortError = 15,
};

// The result's name in summaries and JSON documents.
inline const char* ResultName(int code)
{
    switch (code) {
    case kOk: return "done";
    case kUsage: return "usage";
    case kFileError: return "file error";
    case kDataError: return "bad data";
    case kRefused: return "declined";
    case kDamaged: return "damaged";
    case kDiffers: return "differs";
    case kLineLost: return "line lost";
    case kInterrupted: return "interrupted";
    case kNoAnswer: return "no answer";
    case kBadReply: return "bad reply";
    case kSendFailed: return "send failure";
    case kPortError: return "port cannot be opened";
    default: return "failed";
    }
}
