#!/usr/bin/env python3
"""A fault-injecting HTTP proxy for the sync tests, on loopback only.

It passes every request on to one upstream server and counts them. A test
sets the next fault through the proxy itself:
    PUT /__fault__/<mode>?count=N[&method=M][&seconds=S]
with <mode> one of:
    drop      send the headers and half the body, then close the connection
    reset     read the request, then reset the connection (TCP RST) without
              an answer, as a server does that closes with a request body
              left unread
    500       answer 500 without asking the upstream
    503       answer 503 with Retry-After: 1
    412put    answer a PUT with 412 Precondition Failed
    slow      wait S seconds (default 3) before answering
    truncate  cut the upstream's answer body in half, with a Content-Length
              that matches the cut (a well-delivered, broken answer)
    none      no fault
The fault applies to the next N requests (of method M when given).
    GET /__fault__/count   the number of requests passed on or faulted
With --tls-port it also serves TLS with the given self-signed certificate,
so that a client can be seen refusing it.
"""
import argparse
import http.client
import http.server
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

lock = threading.Lock()
state = {"mode": "none", "count": 0, "method": None, "seconds": 3.0, "requests": 0}


def take_fault(method):
    with lock:
        state["requests"] += 1
        if state["count"] <= 0 or state["mode"] == "none":
            return None
        if state["method"] and state["method"] != method:
            return None
        if state["mode"] == "412put" and method != "PUT":
            return None
        state["count"] -= 1
        return state["mode"], state["seconds"]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    upstream = None

    def log_message(self, fmt, *args):
        pass

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def control(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/__fault__/count":
            with lock:
                self.reply(200, str(state["requests"]).encode())
            return
        query = urllib.parse.parse_qs(url.query)
        with lock:
            state["mode"] = url.path[len("/__fault__/"):]
            state["count"] = int(query.get("count", ["1"])[0])
            state["method"] = query.get("method", [None])[0]
            state["seconds"] = float(query.get("seconds", ["3"])[0])
        self.reply(204)

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if self.path.startswith("/__fault__/"):
            self.control()
            return
        fault = take_fault(self.command)
        mode, seconds = fault if fault else (None, 0)
        if mode == "reset":
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
            return
        if mode == "500":
            self.reply(500, b"injected failure")
            return
        if mode == "503":
            self.reply(503, b"busy", [("Retry-After", "1")])
            return
        if mode == "412put":
            self.reply(412, b"")
            return
        if mode == "slow":
            time.sleep(seconds)
        host, port = self.upstream
        connection = http.client.HTTPConnection(host, port, timeout=60)
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("host", "connection", "keep-alive")}
        connection.request(self.command, self.path, body=body, headers=headers)
        answer = connection.getresponse()
        data = answer.read()
        connection.close()
        out_headers = [(k, v) for k, v in answer.getheaders()
                       if k.lower() not in ("content-length", "connection", "transfer-encoding",
                                            "keep-alive", "date", "server")]
        if mode == "truncate":
            self.reply(answer.status, data[: len(data) // 2], out_headers)
            return
        if mode == "drop":
            self.send_response(answer.status)
            for name, value in out_headers:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[: len(data) // 2])
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        self.reply(answer.status, data, out_headers)

    do_GET = do_PUT = do_DELETE = do_PROPFIND = do_REPORT = do_MKCALENDAR = handle_any
    do_POST = do_OPTIONS = do_HEAD = do_PROPPATCH = handle_any


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--upstream", required=True, help="HOST:PORT")
    parser.add_argument("--tls-port", type=int)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()
    host, port = args.upstream.rsplit(":", 1)
    Handler.upstream = (host, int(port))
    servers = [http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)]
    if args.tls_port:
        tls = http.server.ThreadingHTTPServer(("127.0.0.1", args.tls_port), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        tls.socket = context.wrap_socket(tls.socket, server_side=True)
        servers.append(tls)
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    servers[0].serve_forever()


if __name__ == "__main__":
    sys.exit(main())
