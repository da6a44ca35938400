// Arbitrary datagrams through the main socket's dispatch and the feedback decoder. The
// record lives across inputs, as the main window's does, so stale tail fields from one
// message meet the next.
#include "protocol/ConfigCommand.h"
#include "protocol/Feedback.h"

#include <cstdint>
#include <cstdlib>

namespace {

ElementFeedback g_record;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const DatagramRoute route = routeDatagram(datagram.size());

    if (route == DatagramRoute::Feedback) {
        const FeedbackCheck check = decodeFeedback(datagram, g_record);
        require(g_record.UDP_Response_Name.size() == 16);
        require((check == FeedbackCheck::Ok) == feedbackCheckText(check).isEmpty());
        if (check == FeedbackCheck::Ok) {
            // What an element would send for the decoded record decodes to the same record.
            ElementFeedback again = g_record;
            require(decodeFeedback(encodeFeedback(g_record), again) == FeedbackCheck::Ok);
            require(again.UDP_Response_IP == g_record.UDP_Response_IP);
            require(again.UDP_Response_Remote_IP == g_record.UDP_Response_Remote_IP);
            require(again.UDP_Response_Name == g_record.UDP_Response_Name);
            require(again.UDP_Response_Serial_Number == g_record.UDP_Response_Serial_Number);
            require(again.UDP_Response_Low_Latency == g_record.UDP_Response_Low_Latency);
            require(again.UDP_Response_Buffer == g_record.UDP_Response_Buffer);
        }
    } else {
        // Whatever the dispatch drops must still be safe to hand to the decoder.
        ElementFeedback scratch;
        decodeFeedback(datagram, scratch);
    }

    if (const std::optional<ConfigCommand> command = decodeConfigCommand(datagram))
        require(encodeConfigCommand(*command).size() == datagram.size());
    return 0;
}
