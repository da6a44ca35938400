#pragma once
// The element's feedback message (40 to 54 bytes) and the dispatch of datagrams that
// arrive on the main socket. Pure functions over bytes: no socket, no window.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The decoded fields of the last feedback message. A message overwrites the fields it
// carries; a tail field it does not carry (and that has no default) keeps its value.
struct ElementFeedback {
    QString UDP_Response_IP;
    QString UDP_Response_Mask;
    QString UDP_Response_GW;
    QString UDP_Response_Remote_IP;
    quint8 UDP_Response_Audio_Input = 0;
    quint8 UDP_Response_Audio_Type = 0;
    quint8 UDP_Response_TX_Type = 0;
    QString UDP_Response_Name;          // the 16 bytes as they came (Latin-1), untrimmed
    quint8 UDP_Response_Role = 0;
    qint32 UDP_Response_Serial_Number = 0;
    quint8 UDP_Response_Version_Major = 0;
    quint8 UDP_Response_Version_Minor = 0;
    quint8 UDP_Response_SFN = 0;
    quint8 UDP_Response_Buffer = 0;
    quint8 UDP_Response_Attenuation = 0;
    quint8 UDP_Response_SilDet_Mode = 0;
    quint8 UDP_Response_SilDet_Level = 0;
    quint8 UDP_Response_SilDet_Time = 0;
    quint8 UDP_Response_Low_Latency = 0;
    QString UDP_Response_MAC;           // filled by the reply handling (ARP), not by decoding
};

// The checks a decoded message must pass, in their order; Ok when all pass.
enum class FeedbackCheck {
    Ok,
    ElementIP,
    ElementMask,
    ElementGW,
    RemoteIP,
    AudioInput,
    AudioType,
    TxType,
    ElementType,
    SerialNumber,
};

// What the main socket does with a datagram of this length.
enum class DatagramRoute {
    AudioLevel,   // 1201 bytes or more
    Feedback,     // 40 to 54 bytes
    Ignored,      // 3 bytes, 55..1200 bytes, and anything shorter than the fixed part
};
DatagramRoute routeDatagram(qsizetype length);

constexpr int kFeedbackFixedLength = 40;
constexpr int kFeedbackMaxLength = 54;

// Decodes `message` into `record` field by field (fields it does not reach keep their
// values), then runs the checks in order and returns the first that fails.
// Precondition: message.size() >= 40 (routeDatagram says so); shorter input returns
// ElementIP without touching the record.
FeedbackCheck decodeFeedback(const QByteArray &message, ElementFeedback &record);

// First line of the message box for a failed check, e.g.
// "An error occured while retrieving 'Element IP':". Empty for Ok.
QString feedbackCheckText(FeedbackCheck check);
// Full text of the box: first line + CR + "Feedback is corrupted.".
QString feedbackCorruptedMessage(const QString &firstLine);

// Bytes of an IPv4 address as dotted decimal ("192.168.1.10").
QString dottedFromBytes(const QByteArray &bytes, int offset);

// What an element sends back (used by the simulator and the tests): a 45-byte encoder
// message (role != 2) or a 54-byte decoder message (role 2), name padded/cut to 16.
QByteArray encodeFeedback(const ElementFeedback &f);
