#!/usr/bin/python3
"""The DC locator's ping: one CLDAP datagram to a DC's port 389 asking for the Netlogon
attribute of the root entry, as a client sitting at SOURCE (a local address the socket is
bound to) sends it. Prints what the DC answered about sites:

    netlogon_ping.py DC_ADDRESS DNS_DOMAIN [SOURCE]
    -> DnsHostName=dc1.orvistal.test DcSiteName=... ClientSiteName=... Flags=0x...

Exit 1 when no answer or an answer that is not a NETLOGON_SAM_LOGON_RESPONSE_EX."""
import socket
import struct
import sys


def tlv(tag, body):
    n = len(body)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + body


def octets(value):
    return tlv(0x04, value)


def integer(value):
    return tlv(0x02, value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big", signed=True))


def ping_request(domain, message_id=1):
    equality = lambda attr, value: tlv(0xA3, octets(attr) + octets(value))
    # (&(DnsDomain=<domain>)(NtVer=\06\00\00\00)): NETLOGON_NT_VERSION_5 | 5EX
    filt = tlv(0xA0, equality(b"DnsDomain", domain.encode()) + equality(b"NtVer", b"\x06\x00\x00\x00"))
    search = tlv(0x63, octets(b"") + tlv(0x0A, b"\x00") + tlv(0x0A, b"\x00") + integer(0) + integer(0)
                 + tlv(0x01, b"\x00") + filt + tlv(0x30, octets(b"Netlogon")))
    return tlv(0x30, integer(message_id) + search)


def read_tlv(data, pos):
    tag, n = data[pos], data[pos + 1]
    pos += 2
    if n & 0x80:
        count = n & 0x7F
        n = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    if pos + n > len(data):
        raise ValueError("truncated BER element")
    return tag, data[pos:pos + n], pos + n


def children(body):
    pos = 0
    while pos < len(body):
        tag, value, pos = read_tlv(body, pos)
        yield tag, value


def netlogon_value(datagram):
    """The Netlogon value of the searchResEntry in the reply (attribute names in any case)."""
    for tag, message in children(datagram):
        parts = list(children(message))
        if tag != 0x30 or len(parts) < 2 or parts[1][0] != 0x64:
            continue
        entry = list(children(parts[1][1]))
        for _, attribute in children(entry[1][1]):
            (_, name), (_, values) = list(children(attribute))[:2]
            if name.lower() == b"netlogon":
                return next(v for _, v in children(values))
    raise ValueError("no netlogon attribute in the reply")


def read_name(blob, pos):
    """An RFC 1035 name, compressed with pointers from the start of the blob; returns the name
    and the position after it."""
    labels, end, hops = [], None, 0
    while True:
        n = blob[pos]
        if n == 0:
            pos += 1
            break
        if n & 0xC0 == 0xC0:
            if end is None:
                end = pos + 2
            pos = ((n & 0x3F) << 8) | blob[pos + 1]
            hops += 1
            if hops > 32:
                raise ValueError("pointer loop in a name")
            continue
        labels.append(blob[pos + 1:pos + 1 + n].decode("utf-8"))
        pos += 1 + n
    return ".".join(labels), (end if end is not None else pos)


def parse_response_ex(blob):
    opcode, _, flags = struct.unpack_from("<HHI", blob, 0)
    if opcode != 0x17:
        raise ValueError("opcode 0x%x, not a NETLOGON_SAM_LOGON_RESPONSE_EX" % opcode)
    pos = 8 + 16  # after the domain GUID
    fields = {}
    for name in ("DnsForestName", "DnsDomainName", "DnsHostName", "NetbiosDomainName",
                 "NetbiosComputerName", "UserName", "DcSiteName", "ClientSiteName"):
        fields[name], pos = read_name(blob, pos)
    fields["Flags"] = "0x%x" % flags
    return fields


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    server, domain = sys.argv[1], sys.argv[2]
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    if len(sys.argv) == 4:
        sock.bind((sys.argv[3], 0))
    sock.settimeout(3)
    sock.sendto(ping_request(domain), (server, 389))
    try:
        datagram, _ = sock.recvfrom(65536)
        fields = parse_response_ex(netlogon_value(datagram))
    except (OSError, ValueError, StopIteration, IndexError) as error:
        sys.exit("netlogon_ping: %s from %s: %s" % (type(error).__name__, server, error))
    print(" ".join("%s=%s" % (k, fields[k]) for k in
                   ("DnsHostName", "DcSiteName", "ClientSiteName", "Flags")))


if __name__ == "__main__":
    main()
