#!/usr/bin/python3
"""An SMTP server on 127.0.0.1 for the mail sender's tests.

Prints "READY <port>" once it accepts connections, then serves until killed. Every message it accepts is
written to OUT/<n>.eml (the bytes as received) with OUT/<n>.json: the envelope, whether the session was
secured, the user that logged in, and what Python's own e-mail parser reads from it (decoded subject, the
header names, the attachments' names, with their bytes in OUT/<n>.part<i>). Every AUTH command the server
sees is noted in OUT/auth.log, also one that fails or arrives in clear.
"""

import argparse
import asyncio
import email
import email.policy
import json
import os
import socket
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Handler:
    def __init__(self, out):
        self.out = out
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.out, str(self.count))
        with open(base + ".eml", "wb") as raw:
            raw.write(envelope.original_content)
        parsed = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        attachments = []
        for index, part in enumerate(parsed.iter_attachments() if parsed.is_multipart() else []):
            with open("%s.part%d" % (base, index), "wb") as data:
                data.write(part.get_payload(decode=True))
            attachments.append({"filename": part.get_filename(), "type": part.get_content_type()})
        body = parsed.get_body(preferencelist=("plain",))
        summary = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "secure": server.transport.get_extra_info("ssl_object") is not None,
            "login": session.auth_data.login.decode() if session.auth_data is not None else None,
            "subject": str(parsed["subject"]),
            "from": str(parsed["from"]),
            "to": str(parsed["to"]),
            "headers": list(parsed.keys()),
            "body_type": body.get_content_type() if body else None,
            "body_charset": body.get_content_charset() if body else None,
            "body": body.get_content() if body else None,
            "attachments": attachments,
        }
        with open(base + ".json", "w", encoding="utf-8") as note:
            json.dump(summary, note, ensure_ascii=False)
        return "250 OK"


class NotingSMTP(SMTP):
    async def smtp_AUTH(self, arg):
        with open(os.path.join(self.out_folder, "auth.log"), "a") as log:
            secure = self.transport.get_extra_info("ssl_object") is not None
            log.write("AUTH %s secure=%s\n" % ((arg or "").split(" ")[0], secure))
        return await super().smtp_AUTH(arg)


class NotingController(Controller):
    def __init__(self, handler, out, **kwargs):
        self.out_folder = out
        super().__init__(handler, **kwargs)

    def factory(self):
        server = NotingSMTP(self.handler, **self.SMTP_kwargs)
        server.out_folder = self.out_folder
        return server


def authenticator_for(credentials):
    user, password = credentials.split(":", 1)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login.decode() == user and auth_data.password.decode() == password
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    return authenticate


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--mode", choices=["plain", "starttls", "implicit", "silent"], default="plain")
    parser.add_argument("--port", type=int, help="the port to listen on; a free one when not given")
    parser.add_argument("--auth", help="USER:PASSWORD; AUTH is then required and offered also in clear")
    args = parser.parse_args()

    port = args.port or free_port()
    if args.mode == "silent":
        # Accepts connections and never says a word.
        listener = socket.socket()
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", port))
        listener.listen(8)
        print("READY %d" % port, flush=True)
        held = []
        while True:
            connection, _ = listener.accept()
            held.append(connection)

    kwargs = {}
    context = None
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
    if args.mode == "starttls":
        kwargs.update(tls_context=context, require_starttls=True)
    elif args.mode == "implicit":
        kwargs.update(ssl_context=context)
    if args.auth:
        kwargs.update(authenticator=authenticator_for(args.auth), auth_required=True, auth_require_tls=False)
    controller = NotingController(Handler(args.out), args.out, hostname="127.0.0.1", port=port, **kwargs)
    controller.start()
    print("READY %d" % port, flush=True)
    try:
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
