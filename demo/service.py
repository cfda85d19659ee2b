#!/usr/bin/env python3
"""Demo consulting service: the login and logout endpoints and the help page.

    python3 demo/service.py [--host 127.0.0.1] [--port 18080]
                            [--sip-domain 127.0.0.50] [--logout-log FILE]
                            [--cert CERT.pem --key KEY.pem] [--slow-login]

With --cert and --key it serves https (TLS) with that certificate, for a
program built with SERVICE_HOST=https://host:port. With --slow-login it
receives each login and holds its answer back for a minute, as a service
that hangs.

Login endpoint  POST /appConsultoria/mirtavel.php   (codigo, senha, version, chave)
Logout endpoint POST /appConsultoria/remove_login.php (codigo), recorded in FILE
Help page       GET  /?url=/areas_assuntos.php
"""
import argparse
import html
import json
import os
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

DEMO_CODE = "1001"
DEMO_PASSWORD = "demo123"
SIP_USER = "cliente1001"
SIP_PASSWORD = "sip-demo-1001"

# Groups of attendance queues, as the service lists them. Texts are sent as
# UTF-8; the program turns them into the 8-bit text (code page 1252) its
# window shows.
QUEUE_GROUPS = [
    {
        "nome": "Consultoria",
        "info": [
            {"nome": "ATENDIMENTO", "info": {"user": "atendimento01"}},
            {"nome": "Gestão Tributária", "info": {"user": "tributario01"}},
            {"nome": "Consultoria Jurídica", "info": {"user": "juridico01"}},
        ],
    },
    {
        "nome": "Suporte",
        "info": [
            {"nome": "Recursos Humanos", "info": {"user": "rh01"}},
            {"nome": "Contábil", "info": {"user": "contabil01"}},
            {"nome": "Fiscal – Simples “Nacional”", "info": {"user": "fiscal01"}},
        ],
    },
]

HELP_AREAS = [
    ("ATENDIMENTO", "Primeiro contato, dúvidas gerais e encaminhamento."),
    ("Gestão Tributária", "Impostos, obrigações acessórias e planejamento tributário."),
    ("Consultoria Jurídica", "Contratos, pareceres e questões societárias."),
    ("Recursos Humanos", "Folha de pagamento, admissões e rotinas trabalhistas."),
    ("Contábil", "Balanços, escrituração e fechamento mensal."),
    ("Fiscal – Simples “Nacional”", "Enquadramento, DAS e obrigações do Simples."),
]


def login_answer(form, sip_domain, queue_groups):
    code = form.get("codigo", [""])[0]
    password = form.get("senha", [""])[0]
    if code != DEMO_CODE or password != DEMO_PASSWORD:
        return {"resposta": {"status": False, "mensagem": "Usuário ou senha não conferem."}}
    return {
        "resposta": {
            "status": True,
            "mensagem": "",
            "dominio": sip_domain,
            "user": SIP_USER,
            "pass": SIP_PASSWORD,
        },
        "filas": queue_groups,
    }


def help_page():
    rows = "\n".join(
        f"<li><strong>{html.escape(n)}</strong>: {html.escape(t)}</li>" for n, t in HELP_AREAS
    )
    return f"""<!DOCTYPE html>
<html lang="pt-BR"><head><meta charset="utf-8"><title>Áreas de Consultoria</title>
<style>body{{font-family:Arial,sans-serif;background:#f4f7fa;color:#1d425e;margin:2em}}
li{{margin:.4em 0}}</style></head>
<body><h1>Áreas de Consultoria</h1><ul>
{rows}
</ul></body></html>
"""


class Handler(BaseHTTPRequestHandler):
    server_version = "DemoConsultoria/1.0"
    timeout = 10

    def setup(self):
        super().setup()
        if isinstance(self.request, ssl.SSLSocket):
            self.request.do_handshake()

    def answer(self, status, body, content_type):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def read_form(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length).decode("latin-1")
        return raw, parse_qs(raw, keep_blank_values=True, encoding="latin-1")

    def do_POST(self):
        path = urlsplit(self.path).path
        raw, form = self.read_form()
        if path == "/appConsultoria/mirtavel.php":
            body = json.dumps(login_answer(form, self.server.sip_domain, self.server.queue_groups), ensure_ascii=False)
            # The installation key as well: which installation logged in.
            self.server.note(f"login {form.get('codigo', [''])[0]!r} key {form.get('chave', [''])[0]!r}")
            if self.server.slow_login:
                time.sleep(60)
            self.answer(200, body, "application/json; charset=utf-8")
        elif path == "/appConsultoria/remove_login.php":
            with self.server.log_lock, open(self.server.logout_log, "a", encoding="latin-1") as f:
                f.write(raw + "\n")
            self.server.note(f"logout {raw!r}")
            self.answer(200, "ok", "text/plain; charset=utf-8")
        else:
            self.answer(404, "not found", "text/plain; charset=utf-8")

    def do_GET(self):
        query = parse_qs(urlsplit(self.path).query)
        if urlsplit(self.path).path == "/" and query.get("url") == ["/areas_assuntos.php"]:
            self.answer(200, help_page(), "text/html; charset=utf-8")
        else:
            self.answer(404, "not found", "text/plain; charset=utf-8")

    def log_message(self, fmt, *args):  # requests are noted by note() instead
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=18080, help="0 picks a free port")
    parser.add_argument("--sip-domain", default="127.0.0.50")
    parser.add_argument("--logout-log", default="demo-logout.log")
    parser.add_argument("--port-file", help="write the port in use to this file")
    parser.add_argument("--cert", help="PEM certificate (chain): serve https")
    parser.add_argument("--key", help="PEM private key of --cert")
    parser.add_argument("--queues", help="JSON file: the queue groups to grant instead of the demo's")
    parser.add_argument("--slow-login", action="store_true",
                        help="hold each login's answer back for a minute")
    args = parser.parse_args()
    if bool(args.cert) != bool(args.key):
        parser.error("--cert and --key go together")

    server = ThreadingHTTPServer((args.host, args.port), Handler)
    scheme = "http"
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(args.cert, args.key)
        # The handshake runs in the request's own thread, not in the accept
        # loop, so one silent client cannot stall the others.
        server.socket = context.wrap_socket(server.socket, server_side=True,
                                            do_handshake_on_connect=False)
        scheme = "https"
    server.daemon_threads = True
    server.sip_domain = args.sip_domain
    server.queue_groups = QUEUE_GROUPS
    if args.queues:
        with open(args.queues, encoding="utf-8") as f:
            server.queue_groups = json.load(f)
    server.logout_log = args.logout_log
    server.slow_login = args.slow_login
    server.log_lock = threading.Lock()
    server.note = lambda text: print(f"demo service: {text}", flush=True)
    # A client that refuses the certificate ends its connection in the
    # handshake: one line, not a traceback.
    server.handle_error = lambda request, address: server.note(
        f"connection from {address[0]} ended: {sys.exc_info()[1]}")
    port = server.server_address[1]
    print(
        f"demo service on {scheme}://{args.host}:{port}/ - customer code {DEMO_CODE}, "
        f"password {DEMO_PASSWORD}; SIP account {SIP_USER}@{args.sip_domain}",
        flush=True,
    )
    # Written last: whoever waits for the file finds the line above printed.
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(str(port))
        os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
