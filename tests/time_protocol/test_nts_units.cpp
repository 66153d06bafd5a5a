// The NTS units without a network: the key exchange reader, AES-SIV against a reference built from AES and CMAC,
// and the NTP request and reply.
#include "time_protocol/aes_siv.h"
#include "time_protocol/nts_ke.h"
#include "time_protocol/nts_packet.h"

#include <QTest>

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

using NtsKe::record;
using NtsPacket::field;

class TestNtsUnits : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keAnswer_data();
    void keAnswer();
    void keAnswerInPieces();
    void aesSiv_data();
    void aesSiv();
    void request_data();
    void request();
    void reply_data();
    void reply();
};

namespace {
QByteArray be16(int v) {
    return NtsKe::bigEndian16(static_cast<quint16>(v));
}
QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// RFC 5297's S2V and CTR from plain AES and CMAC, to check the one cipher call against the published vectors.
QByteArray cmac(const QByteArray& key, const QByteArray& data) {
    QByteArray out(16, '\0');
    gnutls_hmac_fast(GNUTLS_MAC_AES_CMAC_128, key.constData(), 16, data.constData(), size_t(data.size()), out.data());
    return out;
}
QByteArray dbl(const QByteArray& in) {
    QByteArray out(16, '\0');
    for (int i = 0; i < 16; ++i)
        out[i] = char((uchar(in[i]) << 1) | (i < 15 ? uchar(in[i + 1]) >> 7 : 0));
    if (uchar(in[0]) & 0x80)
        out[15] = char(uchar(out[15]) ^ 0x87);
    return out;
}
QByteArray xored(QByteArray a, const QByteArray& b, int at = 0) {
    for (int i = 0; i < b.size(); ++i)
        a[at + i] = char(a[at + i] ^ b[i]);
    return a;
}
QByteArray referenceSiv(const QByteArray& key, const QList<QByteArray>& associated, const QByteArray& plaintext) {
    const QByteArray k1 = key.left(16), k2 = key.mid(16);
    QByteArray d = cmac(k1, QByteArray(16, '\0'));
    for (const QByteArray& s : associated)
        d = xored(dbl(d), cmac(k1, s));
    QByteArray t;
    if (plaintext.size() >= 16) {
        t = xored(plaintext, d, plaintext.size() - 16);
    } else {
        QByteArray padded = plaintext + '\x80';
        padded.append(16 - padded.size(), '\0');
        t = xored(dbl(d), padded);
    }
    const QByteArray v = cmac(k1, t);
    QByteArray q = v;
    q[8] = char(q[8] & 0x7F);
    q[12] = char(q[12] & 0x7F);
    QByteArray stream;
    for (quint32 block = 0; stream.size() < plaintext.size(); ++block) {
        QByteArray counter = q;
        quint32 low = (quint32(uchar(counter[12])) << 24 | uchar(counter[13]) << 16 | uchar(counter[14]) << 8 |
                       uchar(counter[15])) +
                      block;
        for (int i = 0; i < 4; ++i)
            counter[12 + i] = char(low >> (24 - 8 * i));
        gnutls_cipher_hd_t aes;
        gnutls_datum_t k{reinterpret_cast<uchar*>(const_cast<char*>(k2.constData())), 16};
        gnutls_datum_t iv{reinterpret_cast<uchar*>(counter.data()), 16};
        gnutls_cipher_init(&aes, GNUTLS_CIPHER_AES_128_CBC, &k, &iv);
        QByteArray out(16, '\0');
        gnutls_cipher_encrypt2(aes, QByteArray(16, '\0').constData(), 16, out.data(), 16);
        gnutls_cipher_deinit(aes);
        stream += out;
    }
    return v + xored(plaintext, stream.left(plaintext.size()));
}

QByteArray cookie(char fill, int size = 24) {
    return QByteArray(size, fill);
}
const QByteArray kC2s(32, '\x11');
const QByteArray kS2c(32, '\x22');

// A server's reply written out byte by byte and sealed by the reference cipher, so that the reader is not
// checked only against its own writer.
QByteArray writtenOutReply() {
    QByteArray packet = hex("24 01 03 e7 00008000 00004000 47505300 00000000 00000000 11223344 55667788 e96b1e80 "
                            "00000000 e96b1e80 80000000 0104 0024") +
                        QByteArray(32, 'u');
    const QByteArray nonce(16, 's');
    const QByteArray inner = hex("0204 001c") + cookie('a') + hex("0204 001c") + cookie('b');
    const QByteArray sealed = referenceSiv(kS2c, {packet, nonce}, inner);
    return packet + hex("0404 0060 0010 0048") + nonce + sealed;
}
} // namespace

void TestNtsUnits::keAnswer_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("cookies");
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("why");
    const QByteArray proto = record(NtsKe::NextProtocol, true, be16(0));
    const QByteArray aead = record(NtsKe::Aead, true, be16(15));
    const QByteArray c = record(NtsKe::NewCookie, false, cookie('c'));
    const QByteArray eom = record(NtsKe::EndOfMessage, true, {});
    QTest::newRow("our own request as an answer") << NtsKe::request() + c << false << 0 << "" << 0 << "no cookie";
    QTest::newRow("plain answer") << proto + aead + c + eom << true << 1 << "" << 0 << "";
    QTest::newRow("server and port") << proto + aead + c + record(NtsKe::Server, true, "ntp.example") +
                                            record(NtsKe::Port, true, be16(1234)) + eom
                                     << true << 1 << "ntp.example" << 1234 << "";
    QByteArray twelve;
    for (int i = 0; i < 12; ++i)
        twelve += record(NtsKe::NewCookie, false, cookie(char('a' + i)));
    QTest::newRow("twelve cookies keep eight") << proto + aead + twelve + eom << true << 8 << "" << 0 << "";
    QTest::newRow("unknown non-critical skipped")
        << proto + record(0x4321, false, "xyz") + aead + c + eom << true << 1 << "" << 0 << "";
    QTest::newRow("unknown critical") << proto + record(0x4321, true, "xyz") + aead + c + eom << false << 0 << "" << 0
                                      << "unknown critical record (type 17185)";
    QTest::newRow("error record") << record(NtsKe::Error, true, be16(1)) + eom << false << 0 << "" << 0 << "error 1";
    QTest::newRow("warning record") << proto + aead + record(NtsKe::Warning, true, be16(7)) + c + eom << false << 0
                                    << "" << 0 << "warning 7";
    QTest::newRow("another protocol") << record(NtsKe::NextProtocol, true, be16(0x8001)) + aead + c + eom << false << 0
                                      << "" << 0 << "another protocol";
    QTest::newRow("empty protocol list") << record(NtsKe::NextProtocol, true, {}) + aead + c + eom << false << 0 << ""
                                         << 0 << "another protocol";
    QTest::newRow("another algorithm") << proto + record(NtsKe::Aead, true, be16(30)) + c + eom << false << 0 << "" << 0
                                       << "another algorithm";
    QTest::newRow("no protocol") << aead + c + eom << false << 0 << "" << 0 << "no protocol";
    QTest::newRow("no algorithm") << proto + c + eom << false << 0 << "" << 0 << "no algorithm";
    QTest::newRow("no cookie") << proto + aead + eom << false << 0 << "" << 0 << "no cookie";
    QTest::newRow("missing end") << proto + aead + c << false << 0 << "" << 0 << "ended before";
    QTest::newRow("cut in a record") << proto + aead + c.left(10) << false << 0 << "" << 0 << "ended before";
    QTest::newRow("bytes after the end") << proto + aead + c + eom + "x" << false << 0 << "" << 0 << "more after";
    QTest::newRow("empty cookie") << proto + aead + record(NtsKe::NewCookie, false, {}) + eom << false << 0 << "" << 0
                                  << "cookie of 0 bytes";
    QTest::newRow("huge cookie") << proto + aead + record(NtsKe::NewCookie, false, cookie('h', 5000)) + eom << false
                                 << 0 << "" << 0 << "cookie of 5000 bytes";
    QTest::newRow("port zero") << proto + aead + c + record(NtsKe::Port, true, be16(0)) + eom << false << 0 << "" << 0
                               << "no port";
    QTest::newRow("server with a space") << proto + aead + c + record(NtsKe::Server, true, "a b") + eom << false << 0
                                         << "" << 0 << "no host name";
    QByteArray flood = proto + aead;
    while (flood.size() <= NtsKe::kMaxAnswer)
        flood += record(NtsKe::NewCookie, false, cookie('f', 1000));
    QTest::newRow("endless cookies") << flood + eom << false << 0 << "" << 0 << "too long";
}

void TestNtsUnits::keAnswer() {
    QFETCH(QByteArray, stream);
    QFETCH(bool, ok);
    QFETCH(int, cookies);
    QFETCH(QString, server);
    QFETCH(int, port);
    QFETCH(QString, why);
    const NtsKe::Reader reader = NtsKe::read(stream);
    QCOMPARE(reader.state() == NtsKe::Reader::Done, ok);
    QVERIFY2(reader.why().contains(why), qPrintable(reader.why()));
    QCOMPARE(reader.why().isEmpty(), ok);
    if (ok) {
        QCOMPARE(reader.answer().cookies.size(), cookies);
        QCOMPARE(reader.answer().server, server);
        QCOMPARE(int(reader.answer().port), port);
    }
}

void TestNtsUnits::keAnswerInPieces() {
    // TLS may hand the answer over a byte at a time; the reader must not care.
    const QByteArray stream = record(NtsKe::NextProtocol, true, be16(0)) + record(NtsKe::Aead, true, be16(15)) +
                              record(NtsKe::NewCookie, false, cookie('a')) +
                              record(NtsKe::NewCookie, false, cookie('b')) + record(NtsKe::EndOfMessage, true, {});
    NtsKe::Reader reader;
    for (int i = 0; i < stream.size(); ++i)
        QCOMPARE(reader.feed(stream.mid(i, 1)), i + 1 < stream.size() ? NtsKe::Reader::More : NtsKe::Reader::Done);
    QCOMPARE(reader.answer().cookies, (QList<QByteArray>{cookie('a'), cookie('b')}));
    QCOMPARE(NtsKe::request(), hex("8001 0002 0000 8004 0002 000f 8000 0000"));
}

void TestNtsUnits::aesSiv_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QList<QByteArray>>("associated"); // the last one is the nonce for the GnuTLS call
    QTest::addColumn<QByteArray>("plaintext");
    QTest::addColumn<QByteArray>("expected"); // empty: the reference decides
    const QByteArray key1 = hex("fffefdfc fbfaf9f8 f7f6f5f4 f3f2f1f0 f0f1f2f3 f4f5f6f7 f8f9fafb fcfdfeff");
    QTest::newRow("RFC 5297 A.1 (reference)")
        << key1 << QList<QByteArray>{hex("10111213 14151617 18191a1b 1c1d1e1f 20212223 24252627")}
        << hex("11223344 55667788 99aabbcc ddee")
        << hex("85632d07 c6e8f37f 950acd32 0a2ecc93 40c02b96 90c4dc04 daef7f6a fe5c");
    QTest::newRow("RFC 5297 A.2 (reference)")
        << hex("7f7e7d7c 7b7a7978 77767574 73727170 40414243 44454647 48494a4b 4c4d4e4f")
        << QList<QByteArray>{hex("00112233 44556677 8899aabb ccddeeff deaddada deaddada ffeeddcc bbaa9988 "
                                 "77665544 33221100"),
                             hex("10203040 50607080 90a0"), hex("09f91102 9d74e35b d84156c5 635688c0")}
        << hex("74686973 20697320 736f6d65 20706c61 696e7465 78742074 6f20656e 63727970 74207573 696e6720 5349562d "
               "414553")
        << hex("7bdb6e3b 432667eb 06f4d14b ff2fbd0f cb900f2f ddbe4043 26601965 c889bf17 dba77ceb 094fa663 b7a3f748 "
               "ba8af829 ea64ad54 4a272e9c 485b62a3 fd5c0d");
    const QList<QByteArray> adAndNonce{hex("10111213 14151617"), hex("09f91102 9d74e35b d84156c5 635688c0")};
    QTest::newRow("cipher: empty plaintext") << key1 << adAndNonce << QByteArray() << QByteArray();
    QTest::newRow("cipher: one block") << key1 << adAndNonce << QByteArray(16, 'p') << QByteArray();
    QTest::newRow("cipher: three blocks and a bit") << key1 << adAndNonce << QByteArray(50, 'q') << QByteArray();
    QTest::newRow("cipher: empty associated data")
        << key1 << QList<QByteArray>{QByteArray(), QByteArray(16, 'n')} << QByteArray(5, 'r') << QByteArray();
}

void TestNtsUnits::aesSiv() {
    QFETCH(QByteArray, key);
    QFETCH(QList<QByteArray>, associated);
    QFETCH(QByteArray, plaintext);
    QFETCH(QByteArray, expected);
    const QByteArray reference = referenceSiv(key, associated, plaintext);
    if (!expected.isEmpty()) {
        QCOMPARE(reference.toHex(), expected.toHex());
        return;
    }
    QByteArray sealed, opened;
    QVERIFY(AesSiv::seal(key, associated[1], associated[0], plaintext, &sealed));
    QCOMPARE(sealed.toHex(), reference.toHex());
    QVERIFY(AesSiv::open(key, associated[1], associated[0], sealed, &opened));
    QCOMPARE(opened, plaintext);
    for (int i = 0; i < sealed.size(); ++i) {
        QByteArray flipped = sealed;
        flipped[i] = char(flipped[i] ^ 0x01);
        QVERIFY2(!AesSiv::open(key, associated[1], associated[0], flipped, &opened), qPrintable(QString::number(i)));
    }
    QVERIFY(!AesSiv::open(key, associated[1], associated[0] + 'x', sealed, &opened));
    QVERIFY(!AesSiv::open(key, QByteArray(), associated[0], sealed, &opened)); // would abort inside the cipher
    QVERIFY(!AesSiv::seal(key, QByteArray(), associated[0], plaintext, &sealed));
    QVERIFY(!AesSiv::seal(key.left(16), associated[1], associated[0], plaintext, &sealed));
    QVERIFY(!AesSiv::open(key, associated[1], associated[0], sealed.left(15), &opened));
}

void TestNtsUnits::request_data() {
    QTest::addColumn<int>("cookieSize");
    QTest::addColumn<int>("placeholders");
    QTest::newRow("after a key exchange") << 100 << 0;
    QTest::newRow("last cookie") << 100 << 7;
    QTest::newRow("odd cookie size is padded") << 23 << 2;
}

void TestNtsUnits::request() {
    QFETCH(int, cookieSize);
    QFETCH(int, placeholders);
    const NtsPacket::Request r = NtsPacket::request(cookie('k', cookieSize), placeholders, kC2s);
    QCOMPARE(uchar(r.packet[0]), uchar(0x23));
    QCOMPARE(r.packet.mid(1, 39), QByteArray(39, '\0'));
    QCOMPARE(r.packet.mid(40, 8).toHex(), QByteArray::number(r.transmit, 16).rightJustified(16, '0'));
    QList<NtsPacket::Field> list;
    QVERIFY(NtsPacket::fields(r.packet, NtsPacket::kHeaderSize, &list));
    QCOMPARE(list.size(), 3 + placeholders);
    QCOMPARE(list[0].type, quint16(NtsPacket::UniqueIdentifier));
    QCOMPARE(list[0].body, r.uniqueId);
    QCOMPARE(r.uniqueId.size(), 32);
    QCOMPARE(list[1].type, quint16(NtsPacket::Cookie));
    QCOMPARE(list[1].body.left(cookieSize), cookie('k', cookieSize));
    for (int i = 0; i < placeholders; ++i) {
        QCOMPARE(list[2 + i].type, quint16(NtsPacket::CookiePlaceholder));
        QCOMPARE(list[2 + i].body.size(), list[1].body.size());
    }
    const NtsPacket::Field& auth = list.last();
    QCOMPARE(auth.type, quint16(NtsPacket::Authenticator));
    QByteArray nonce, sealed, plaintext("x");
    QVERIFY(NtsPacket::authenticatorParts(auth.body, &nonce, &sealed));
    QCOMPARE(nonce.size(), NtsPacket::kNonceSize);
    QVERIFY(AesSiv::open(kC2s, nonce, r.packet.left(auth.at), sealed, &plaintext));
    QVERIFY(plaintext.isEmpty());
    QVERIFY(!AesSiv::open(kS2c, nonce, r.packet.left(auth.at), sealed, &plaintext));
    const NtsPacket::Request again = NtsPacket::request(cookie('k', cookieSize), placeholders, kC2s);
    QVERIFY(again.uniqueId != r.uniqueId);
    QVERIFY(again.transmit != r.transmit);
}

void TestNtsUnits::reply_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("cookies");
    QTest::addColumn<QString>("why");
    const int ignored = NtsPacket::Reply::Ignored, accepted = NtsPacket::Reply::Accepted,
              refused = NtsPacket::Reply::Refused;
    QTest::newRow("good") << "good" << accepted << 2 << "";
    QTest::newRow("written out byte by byte") << "written out" << accepted << 2 << "";
    QTest::newRow("nine cookies keep eight") << "nine cookies" << accepted << 8 << "";
    QTest::newRow("unencrypted field before") << "extra field" << accepted << 2 << "";
    QTest::newRow("tampered authenticator") << "tampered" << ignored << 0 << "authenticator is not valid";
    QTest::newRow("tampered header") << "tampered header" << ignored << 0 << "authenticator is not valid";
    QTest::newRow("sealed with the other key") << "c2s key" << ignored << 0 << "authenticator is not valid";
    QTest::newRow("nonce length zero") << "empty nonce" << ignored << 0 << "authenticator is not valid";
    QTest::newRow("lengths beyond the field") << "long ciphertext" << ignored << 0 << "authenticator is not valid";
    QTest::newRow("wrong unique identifier") << "wrong uid" << ignored << 0 << "identifier";
    QTest::newRow("no unique identifier") << "no uid" << ignored << 0 << "identifier";
    QTest::newRow("no authenticator") << "no authenticator" << ignored << 0 << "not authenticated";
    QTest::newRow("field after authenticator") << "field after" << ignored << 0 << "not authenticated";
    QTest::newRow("field length not a multiple of 4") << "bad length" << ignored << 0 << "malformed";
    QTest::newRow("field length beyond the packet") << "long field" << ignored << 0 << "malformed";
    QTest::newRow("malformed encrypted fields") << "bad inner" << ignored << 0 << "encrypted fields";
    QTest::newRow("another request's originate") << "originate" << ignored << 0 << "does not answer";
    QTest::newRow("client mode") << "mode 3" << ignored << 0 << "not from a server";
    QTest::newRow("not synchronized") << "leap 3" << ignored << 0 << "not synchronized";
    QTest::newRow("zero transmit") << "zero transmit" << ignored << 0 << "no time";
    QTest::newRow("other kiss-o'-death") << "kiss RATE" << ignored << 0 << "refused";
    QTest::newRow("NTSN, right identifier") << "ntsn" << refused << 0 << "";
    QTest::newRow("NTSN, wrong identifier") << "ntsn wrong uid" << ignored << 0 << "another request";
    QTest::newRow("NTSN, no identifier") << "ntsn no uid" << ignored << 0 << "another request";
    QTest::newRow("short") << "short" << ignored << 0 << "does not answer";
}

void TestNtsUnits::reply() {
    QFETCH(QString, change);
    QFETCH(int, kind);
    QFETCH(int, cookies);
    QFETCH(QString, why);
    const NtsPacket::Request request =
        NtsPacket::request(cookie('k'), 1, kC2s, 0x1122334455667788ULL, QByteArray(32, 'u'), QByteArray(16, 'n'));
    QByteArray packet(48, '\0');
    packet[0] = change == "mode 3" ? 0x23 : change == "leap 3" ? char(0xE4) : 0x24;
    packet[1] = change.startsWith("ntsn") || change.startsWith("kiss") ? 0 : 1;
    packet.replace(12, 4, change.startsWith("ntsn") ? "NTSN" : change.startsWith("kiss") ? "RATE" : "GPS\0");
    packet.replace(24, 8, hex(change == "originate" ? "1122334455667789" : "1122334455667788"));
    packet.replace(4, 8, hex("00008000 00004000")); // root delay 0.5 s, root dispersion 0.25 s
    packet.replace(32, 8, hex("e96b1e8000000000"));
    packet.replace(40, 8, hex(change == "zero transmit" ? "0000000000000000" : "e96b1e8080000000"));
    if (change == "extra field")
        packet += field(0x7777, "opaque");
    if (change != "no uid" && change != "ntsn no uid")
        packet += field(NtsPacket::UniqueIdentifier, QByteArray(32, change.endsWith("wrong uid") ? 'w' : 'u'));
    if (change == "bad length")
        packet += be16(0x7777) + be16(6) + "abcd";
    if (change == "long field")
        packet += be16(0x7777) + be16(64) + "abcd";
    QByteArray inner;
    for (int i = 0; i < (change == "nine cookies" ? 9 : 2); ++i)
        inner += field(NtsPacket::Cookie, cookie(char('a' + i)));
    if (change == "bad inner")
        inner += be16(1) + be16(3);
    QByteArray auth;
    QVERIFY(NtsPacket::seal(packet, change == "c2s key" ? kC2s : kS2c, QByteArray(16, 's'), inner, &auth));
    if (change == "tampered")
        auth[auth.size() - 1] = char(auth[auth.size() - 1] ^ 0x40);
    if (change == "empty nonce")
        auth = field(NtsPacket::Authenticator, be16(0) + be16(16) + QByteArray(16, 'x'));
    if (change == "long ciphertext")
        auth.replace(6, 2, be16(0x7FFF));
    if (change == "tampered header")
        packet[45] = char(packet[45] ^ 0x01);
    if (!change.startsWith("ntsn") && change != "no authenticator")
        packet += auth;
    if (change == "field after")
        packet += field(0x7777, "late");
    if (change == "short")
        packet.truncate(47);
    if (change == "written out")
        packet = writtenOutReply();
    const NtsPacket::Reply reply = NtsPacket::parse(packet, request, kS2c);
    QCOMPARE(int(reply.kind), kind);
    QCOMPARE(int(reply.cookies.size()), cookies);
    QVERIFY2(why.isEmpty() ? reply.why.isEmpty() : reply.why.contains(why), qPrintable(reply.why));
    if (kind == NtsPacket::Reply::Accepted) {
        QCOMPARE(reply.cookies.first(), cookie('a'));
        QCOMPARE(reply.receive, 0xe96b1e8000000000ULL);
        QCOMPARE(reply.transmit, 0xe96b1e8080000000ULL);
        QCOMPARE(reply.rootDelayUsec, qint64(500000));
        QCOMPARE(reply.rootDispersionUsec, qint64(250000));
    }
}

QTEST_GUILESS_MAIN(TestNtsUnits)
#include "test_nts_units.moc"
