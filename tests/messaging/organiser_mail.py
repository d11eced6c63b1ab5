#!/usr/bin/python3
"""The organiser sends a message with an attachment to a recording SMTP server on loopback;
the message that arrives is read back with Python's own MIME parser. Then it is pointed at
a port where nothing listens and must say plainly that nothing was delivered.

Usage: organiser_mail.py <organiser program>
"""
import email
import email.policy
import glob
import json
import os
import socket
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def fail(text):
    print('FAIL: ' + text)
    sys.exit(1)


def run_organiser(program, home, args):
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, 'data'),
               XDG_CONFIG_HOME=os.path.join(home, 'config'), QT_QPA_PLATFORM='offscreen')
    done = subprocess.run([program] + args, env=env, capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode('utf-8', 'replace')


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        kept = os.path.join(work, 'kept')
        os.mkdir(kept)
        server = subprocess.Popen(
            ['/usr/bin/python3', os.path.join(HERE, 'servers', 'smtp_recorder.py'),
             '--host', '127.0.0.1', '--port', '0', '--dir', kept],
            stdout=subprocess.PIPE, text=True)
        try:
            ready = server.stdout.readline().split()
            if len(ready) != 2 or ready[0] != 'READY':
                fail('the SMTP server did not start')
            port = ready[1]

            attachment = os.path.join(work, 'Reisekosten März.bin')
            payload = os.urandom(100_000) + b'\r\n.\r\n' + bytes(range(256))
            with open(attachment, 'wb') as f:
                f.write(payload)

            code, out = run_organiser(program, os.path.join(work, 'home'), [
                '--mail-to', 'friend@example.test', '--mail-from', 'me@organiser.test',
                '--mail-server', '127.0.0.1', '--mail-port', port, '--attach', attachment])
            if code != 0 or 'Delivered to friend@example.test' not in out:
                fail('organiser did not report delivery (exit %d):\n%s' % (code, out))

            envelopes = glob.glob(os.path.join(kept, '*.json'))
            if len(envelopes) != 1:
                fail('the server kept %d messages' % len(envelopes))
            envelope = json.load(open(envelopes[0]))
            if envelope['rcpt_tos'] != ['friend@example.test']:
                fail('recipients: %r' % envelope['rcpt_tos'])
            with open(envelopes[0][:-len('.json')] + '.eml', 'rb') as f:
                message = email.message_from_binary_file(f, policy=email.policy.default)
            if message['To'] != 'friend@example.test' or message['From'] != 'me@organiser.test':
                fail('headers: To %r From %r' % (message['To'], message['From']))
            parts = [p for p in message.walk() if not p.is_multipart()]
            if len(parts) != 2:
                fail('%d parts' % len(parts))
            text = parts[0].get_content()
            if 'Reisekosten März.bin' not in text:
                fail('the text does not name the file: %r' % text)
            if parts[1].get_payload(decode=True) != payload:
                fail('the attachment did not arrive byte for byte')
            print('delivered and read back: %d attachment bytes' % len(payload))
        finally:
            server.kill()
            server.wait()

        port = free_port()
        code, out = run_organiser(program, os.path.join(work, 'home'), [
            '--mail-to', 'friend@example.test', '--mail-server', '127.0.0.1',
            '--mail-port', str(port)])
        if (code == 0 or 'NOT delivered to friend@example.test' not in out
                or 'port %d: Connection refused' % port not in out):
            fail('a refused connection was not reported with its reason (exit %d):\n%s' % (code, out))
        print('refused connection reported')


if __name__ == '__main__':
    main()
