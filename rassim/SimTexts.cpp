#include "SimTexts.h"

namespace {
struct ErrorText {
    DWORD Code;
    const char* Text;
};
} // namespace

static constexpr ErrorText Texts[] = {
    {6, "The connection handle does not stand for a connection (any more)."},
    {8, "The dial-up service ran out of memory."},
    {87, "A value passed to the dial-up service is not valid."},
    {602, "The line of this entry is already in use."},
    {603, "The buffer given to the dial-up service is too small for the answer."},
    {608, "The modem named in the entry is not installed."},
    {617, "The connection is already being hung up."},
    {619, "The connection to the modem was lost."},
    {621, "The phone book cannot be opened."},
    {623, "There is no phone-book entry of that name."},
    {628, "The line was dropped before the connection was complete."},
    {629, "The line was dropped by the other end."},
    {630, "The line was dropped because the modem failed."},
    {631, "The line was hung up on this computer."},
    {632, "A record given to the dial-up service has the wrong size."},
    {633, "The modem is in use or not set up for dialling out."},
    {638, "The other end did not answer in time."},
    {645, "Authentication failed inside the dial-up service."},
    {646, "This account may not log on at this time of day."},
    {647, "This account is disabled."},
    {648, "The password of this account has expired."},
    {649, "This account may not dial in."},
    {651, "The modem reported an error."},
    {668, "The connection was lost."},
    {676, "The line is busy."},
    {677, "A person answered instead of a modem."},
    {678, "The other end does not answer."},
    {679, "No carrier: the other modem did not respond."},
    {680, "There is no dial tone."},
    {691, "The user name or the password was not accepted."},
    {692, "The modem does not respond or has failed."},
    {711, "The dial-up service could not start."},
    {718, "The other end stopped answering while the network was set up (PPP time-out)."},
    {720, "No network protocol could be agreed with the other end."},
    {721, "The other end does not answer the PPP negotiation."},
    {734, "The link control protocol was ended by the other end."},
    {797, "The modem of this entry cannot be found."},
};

const char* SimErrorText(DWORD code) {
    for (const ErrorText& e : Texts)
        if (e.Code == code) return e.Text;
    return nullptr;
}
