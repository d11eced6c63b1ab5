#!/usr/bin/python3
"""An SMTP server that misbehaves in one chosen way, for the delivery tests.

Modes:
  silent              accepts and never says anything
  greet554            greets with "554"
  greet554-multiline  greets with "554-" lines, then "554 "
  helo421             greets, then answers HELO with "421" and hangs up
  close-during-data   well-behaved until DATA's 354, then reads a little and hangs up
  multiline-greeting  "220-" lines then "220 ", then well-behaved
  split               well-behaved, every reply sent in two writes with a pause between
  garbage             greets with a line that has no reply code
  mismatch            a multi-line greeting whose last line has another code

The well-behaved modes record messages in --dir like smtp_recorder.py (<n>.eml, then
<n>.json). Connections are served one per thread. Prints "READY <port>".
"""
import argparse
import socket
import sys
import threading
import time

from smtp_recorder import write_message


# Modes that greet with these lines (none for silent) and then say nothing more.
GREET_THEN_SILENT = {
    'silent': [],
    'greet554': ['554 5.3.2 No service here'],
    'greet554-multiline': ['554-fault.test', '554-No service here', '554 5.3.2 Go away'],
    'garbage': ['hello there, nice to meet you'],
    'mismatch': ['220-fault.test', '250 ready'],
}
# Greetings of the modes that go on to a dialogue, other than the plain one.
GREETINGS = {
    'multiline-greeting': ['220-fault.test ESMTP', '220-this greeting has', '220-several lines',
                           '220 ready'],
}


class Session:
    counter = 0
    counter_lock = threading.Lock()

    def __init__(self, connection, mode, directory):
        self.connection = connection
        self.mode = mode
        self.directory = directory
        self.buffer = b''

    def send(self, line):
        data = line.encode('utf-8') + b'\r\n'
        if self.mode == 'split':
            middle = max(1, len(data) // 2)
            self.connection.sendall(data[:middle])
            time.sleep(0.05)
            self.connection.sendall(data[middle:])
        else:
            self.connection.sendall(data)

    def read_line(self):
        while b'\r\n' not in self.buffer:
            chunk = self.connection.recv(65536)
            if not chunk:
                return None
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b'\r\n', 1)
        return line

    def drain(self):
        """Reads until the client hangs up, answering nothing."""
        while self.connection.recv(65536):
            pass

    def run(self):
        if self.mode in GREET_THEN_SILENT:
            for line in GREET_THEN_SILENT[self.mode]:
                self.send(line)
            return self.drain()
        for line in GREETINGS.get(self.mode, ['220 fault.test ready']):
            self.send(line)
        self.dialogue()

    def dialogue(self):
        helo, mail_from, rcpt_tos = None, None, []
        while True:
            line = self.read_line()
            if line is None:
                return
            verb = line[:4].upper()
            if verb in (b'HELO', b'EHLO'):
                if self.mode == 'helo421':
                    self.send('421 4.3.2 Shutting down')
                    return
                helo = line[5:].decode('utf-8', 'replace')
                self.send('250 fault.test')
            elif verb == b'MAIL':
                mail_from = line[10:].decode('utf-8', 'replace')
                rcpt_tos = []
                self.send('250 OK')
            elif verb == b'RCPT':
                rcpt_tos.append(line[8:].decode('utf-8', 'replace'))
                self.send('250 OK')
            elif verb == b'DATA':
                self.send('354 End data with <CR><LF>.<CR><LF>')
                if self.mode == 'close-during-data':
                    while len(self.buffer) < 10:
                        chunk = self.connection.recv(10)
                        if not chunk:
                            break
                        self.buffer += chunk
                    return
                content = self.read_data()
                if content is None:
                    return
                self.record(content, helo, mail_from, rcpt_tos)
                self.send('250 OK')
            elif verb == b'QUIT':
                self.send('221 Bye')
                return
            elif verb in (b'RSET', b'NOOP'):
                self.send('250 OK')
            else:
                self.send('500 Unknown command')

    def read_data(self):
        lines = []
        while True:
            line = self.read_line()
            if line is None:
                return None
            if line == b'.':
                return b''.join(lines)
            if line.startswith(b'.'):
                line = line[1:]
            lines.append(line + b'\r\n')

    def record(self, content, helo, mail_from, rcpt_tos):
        if not self.directory:
            return
        with Session.counter_lock:
            Session.counter += 1
            number = Session.counter
        write_message(self.directory, number, content, helo, mail_from, rcpt_tos)


def serve_one(connection, mode, directory):
    try:
        with connection:
            Session(connection, mode, directory).run()
    except OSError:
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--mode', required=True,
                        choices=list(GREET_THEN_SILENT) + list(GREETINGS)
                        + ['helo421', 'close-during-data', 'split'])
    parser.add_argument('--host', default='127.0.0.1')
    parser.add_argument('--port', type=int, default=0)
    parser.add_argument('--dir', default='')
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        listener.bind((args.host, args.port))
    except OSError as e:
        print('ERROR %s' % e, flush=True)
        sys.exit(1)
    listener.listen(16)
    print('READY %d' % listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve_one, args=(connection, args.mode, args.dir),
                         daemon=True).start()


if __name__ == '__main__':
    try:
        main()
    except KeyboardInterrupt:
        pass
