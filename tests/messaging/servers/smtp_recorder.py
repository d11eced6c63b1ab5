#!/usr/bin/python3
"""A well-behaved SMTP server that keeps what it receives, for the delivery tests.

For each accepted message it writes <dir>/<n>.eml (the content as received, after the
server's own removal of the leading dot a client adds to lines starting with "."; CR LF
kept) and then <dir>/<n>.json (HELO name, MAIL FROM, RCPT TOs), each through a temporary
name and a rename, so a reader that sees the .json sees the whole message. Every byte
received on any connection is appended to <dir>/wire.log.

Prints "READY <port>" once it accepts connections.
"""
import argparse
import asyncio
import json
import os
import sys

from aiosmtpd.smtp import SMTP


def write_atomically(path, data):
    temporary = path + '.tmp'
    with open(temporary, 'wb') as f:
        f.write(data)
    os.replace(temporary, path)


def write_message(directory, number, content, helo, mail_from, rcpt_tos):
    """<number>.eml, then <number>.json: a reader that sees the envelope sees the message."""
    base = os.path.join(directory, str(number))
    write_atomically(base + '.eml', content)
    record = {'helo': helo, 'mail_from': mail_from, 'rcpt_tos': rcpt_tos}
    write_atomically(base + '.json', json.dumps(record).encode('utf-8'))


class Recorder:
    def __init__(self, directory, refused, fail_data):
        self.directory = directory
        self.refused = set(refused)
        self.fail_data = fail_data
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return '550 5.1.1 No such user'
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_DATA(self, server, session, envelope):
        if self.fail_data:
            return '451 4.3.0 Try again later'
        self.count += 1
        write_message(self.directory, self.count, envelope.original_content, session.host_name,
                      envelope.mail_from, envelope.rcpt_tos)
        return '250 OK'


class WireLoggingSMTP(SMTP):
    def __init__(self, handler, wire, **kwargs):
        super().__init__(handler, **kwargs)
        self._wire = wire

    def data_received(self, data):
        self._wire.write(data)
        self._wire.flush()
        super().data_received(data)


async def serve(args):
    handler = Recorder(args.dir, args.refuse_rcpt, args.fail_data)
    wire = open(os.path.join(args.dir, 'wire.log'), 'ab')
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: WireLoggingSMTP(handler, wire, enable_SMTPUTF8=True, decode_data=False,
                                hostname='recorder.test'),
        host=args.host, port=args.port)
    port = server.sockets[0].getsockname()[1]
    print('READY %d' % port, flush=True)
    async with server:
        await server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--host', default='127.0.0.1')
    parser.add_argument('--port', type=int, default=0)
    parser.add_argument('--dir', required=True)
    parser.add_argument('--refuse-rcpt', action='append', default=[])
    parser.add_argument('--fail-data', action='store_true')
    args = parser.parse_args()
    try:
        asyncio.run(serve(args))
    except OSError as e:
        print('ERROR %s' % e, flush=True)
        sys.exit(1)
    except KeyboardInterrupt:
        pass


if __name__ == '__main__':
    main()
