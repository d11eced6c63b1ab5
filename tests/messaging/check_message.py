#!/usr/bin/python3
"""Reads composed messages independently of the kit and prints what it finds as JSON.

Usage: check_message.py FILE...  -> a JSON list, one object per file:
  headers    [[name, decoded value], ...] of the top level, in order
  raw_header_lines  the top-level header lines as sent (folded lines kept apart)
  defects    every defect Python's parser reports, any part
  parts      one object per leaf part: content_type, charset, cte, filename, and either
             text (decoded in its charset) or size + sha256 of the decoded bytes;
             headers_decoded: each raw header value with encoded words decoded
  strict     checks Python's forgiving parser skips: crlf, header_lines_ok,
             base64_ok, base64_lines_ok, boundary_clean, problems (a list of reasons)
"""
import base64
import email.header
import email.parser
import email.policy
import hashlib
import json
import re
import sys


def decode_words(raw):
    try:
        return str(email.header.make_header(email.header.decode_header(raw)))
    except Exception as e:  # noqa: BLE001 - reported, not fatal
        return "<undecodable: %s>" % e


def split_headers(block):
    """Header block bytes -> (lines, [(name, raw value)])."""
    lines = block.split(b"\r\n") if block else []
    fields = []
    for line in lines:
        if line[:1] in (b" ", b"\t") and fields:
            name, value = fields[-1]
            fields[-1] = (name, value + b"\r\n" + line)
        else:
            name, _, value = line.partition(b":")
            fields.append((name.decode("ascii", "replace"), value.lstrip(b" ")))
    return lines, fields


def read_block(data, where, problems):
    """Headers and body of a message or part -> (header lines, {lower name: value}, body)."""
    head, sep, body = data.partition(b"\r\n\r\n")
    if not sep:
        problems.append("no end of headers" if where == "top" else "part without end of headers")
    lines, fields = split_headers(head)
    check_header_lines(lines, where, problems)
    return lines, dict((n.lower(), v) for n, v in fields), body


def strict_checks(data, problems):
    if b"\n" in data.replace(b"\r\n", b""):
        problems.append("bare LF")
    if not data.endswith(b"\r\n"):
        problems.append("no final CRLF")
    lines, fields, body = read_block(data, "top", problems)
    content_type = fields.get("content-type", b"")
    m = re.search(rb'boundary="([^"]+)"', content_type)
    if not m:
        return lines, []
    boundary = m.group(1)
    delimiter = b"\r\n--" + boundary
    pieces = (b"\r\n" + body).split(delimiter)
    if len(pieces) < 3 or not pieces[-1].startswith(b"--"):
        problems.append("no closing boundary")
    raw_parts = []
    for piece in pieces[1:-1]:
        if not piece.startswith(b"\r\n"):
            problems.append("delimiter line not ended by CRLF")
            continue
        piece = piece[2:]
        if boundary in piece:
            problems.append("boundary inside a part")
        _, pdict, pbody = read_block(piece, "part", problems)
        if pdict.get("content-transfer-encoding", b"").strip().lower() == b"base64":
            blines = pbody.split(b"\r\n")
            if blines and blines[-1] == b"":
                blines.pop()
            if any(len(line) > 76 for line in blines):
                problems.append("base64 line over 76")
            try:
                decoded = base64.b64decode(b"".join(blines), validate=True)
                raw_parts.append(hashlib.sha256(decoded).hexdigest())
            except Exception:  # noqa: BLE001
                problems.append("invalid base64")
                raw_parts.append(None)
        else:
            raw_parts.append(None)
    return lines, raw_parts


def check_header_lines(lines, where, problems):
    for line in lines:
        if len(line) > 998:
            problems.append("%s header line over 998" % where)
        if any(b > 0x7F for b in line):
            problems.append("%s header line not 7-bit" % where)


def facts(path):
    with open(path, "rb") as f:
        data = f.read()
    problems = []
    raw_lines, strict_hashes = strict_checks(data, problems)
    msg = email.parser.BytesParser(policy=email.policy.default).parsebytes(data)
    defects = [type(d).__name__ for d in msg.defects]
    parts = []
    for part in msg.walk():
        defects += [type(d).__name__ for d in part.defects]
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        info = {
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "cte": part.get("Content-Transfer-Encoding", ""),
            "filename": part.get_filename(),
            "headers_decoded": [[n, decode_words(v)] for n, v in part.raw_items()],
            "size": len(payload),
            "sha256": hashlib.sha256(payload).hexdigest(),
        }
        if part is not msg and part.get("Content-Transfer-Encoding", "").lower() == "base64":
            info["text"] = None
        elif part.get_content_maintype() == "text":
            try:
                info["text"] = payload.decode(part.get_content_charset() or "us-ascii")
            except Exception as e:  # noqa: BLE001
                info["text"] = None
                problems.append("text does not decode: %s" % e)
        parts.append(info)
    attachments = [p for p in parts if p["text"] is None]
    if strict_hashes and len(strict_hashes) == len(parts):
        for info, digest in zip(parts, strict_hashes):
            if digest is not None and digest != info["sha256"]:
                problems.append("strict and forgiving base64 decoding differ")
    return {
        "headers": [[n, str(v)] for n, v in msg.items()],
        "raw_header_lines": [line.decode("ascii", "replace") for line in raw_lines],
        "defects": defects,
        "parts": parts,
        "attachment_count": len(attachments),
        "problems": problems,
    }


def main():
    out = []
    for path in sys.argv[1:]:
        try:
            out.append(facts(path))
        except Exception as e:  # noqa: BLE001
            out.append({"error": "%s: %s" % (type(e).__name__, e)})
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
