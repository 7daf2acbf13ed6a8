#!/usr/bin/env python3
"""A stand-in for the hosting service and its account hub for scripts/screenshots: it answers a
publish the way the service does (a Vapor-tier site, a runtime, an upload, a build log) so that the
Publish sheet can be pictured with a finished publish. Not for anything else.

    screenshots-hosting.py PORTFILE      serves on 127.0.0.1, a free port written to PORTFILE
"""
import json
import sys
import uuid
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BUILD_LOG = [
    "Fetching https://github.com/vapor/vapor.git from cache",
    "Computing version for https://github.com/vapor/vapor.git",
    "Computed https://github.com/vapor/vapor.git at 4.115.0 (0.42s)",
    "Building for production...",
    "[1/412] Compiling CNIOAtomics src/c-atomics.c",
    "[58/412] Compiling NIOCore ByteBuffer-core.swift",
    "[171/412] Compiling NIOHTTP1 HTTPDecoder.swift",
    "[289/412] Compiling Vapor Application.swift",
    "[377/412] Compiling Vapor Routes.swift",
    "[405/412] Compiling App configure.swift",
    "[410/412] Compiling App routes.swift",
    "[412/412] Linking App",
    "Build complete! (184.36s)",
    "Creating release image 'registry.brindle.host/blog:7f3c2a1'",
    "Pushing image (48.2 MB)",
    "Starting machine in iad (512 MB, 1 shared CPU)",
    "Health check on port 8080 passed",
    "Release v1 is live",
]
SITES = set()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            data = b""
            while True:
                size = int(self.rfile.readline().strip(), 16)
                if size == 0:
                    self.rfile.readline()
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        return self.rfile.read(int(self.headers.get("Content-Length", "0")))

    def answer(self, status, value):
        data = json.dumps(value).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def site(self, subdomain):
        return {"id": str(uuid.uuid4()).upper(), "subdomain": subdomain, "hostingTier": "vapor",
                "url": f"https://{subdomain}.brindle.site", "isDomainVerified": False}

    def do_GET(self):
        path = self.path.split("?")[0]
        if path == "/api/health":
            return self.answer(200, {"status": "ok", "build": "1", "sha": "screens"})
        if path.startswith("/api/v1/sites/"):
            subdomain = path[len("/api/v1/sites/"):]
            if subdomain in SITES:
                return self.answer(200, self.site(subdomain))
            return self.answer(404, {"error": True, "reason": "Site not found"})
        if path.endswith("/logs"):
            subdomain = path.split("/")[4]
            return self.answer(200, {"deploymentID": path.split("/")[6], "status": "succeeded", "lines": BUILD_LOG,
                                     "nextCursor": len(BUILD_LOG), "finished": True,
                                     "url": f"https://{subdomain}.brindle.site"})
        self.answer(404, {"error": True, "reason": "Not Found"})

    def do_POST(self):
        body = self.body()
        if self.path == "/hub/auth/token":
            return self.answer(200, {"token": "screens-token", "expiresIn": 3600})
        if self.path == "/api/v1/sites/check-subdomain":
            subdomain = json.loads(body)["subdomain"]
            return self.answer(200, {"subdomain": subdomain, "available": subdomain not in SITES})
        if self.path == "/api/v1/sites":
            subdomain = json.loads(body)["subdomain"]
            SITES.add(subdomain)
            return self.answer(200, self.site(subdomain))
        if self.path == "/api/v1/runtimes":
            subdomain = json.loads(body)["subdomain"]
            return self.answer(200, {"id": str(uuid.uuid4()).upper(), "flyAppName": f"qs-{subdomain}",
                                     "status": "ready", "siteSubdomain": subdomain})
        if self.path.endswith("/deploy"):
            return self.answer(200, {"deploymentID": str(uuid.uuid4()).upper(), "status": "queued"})
        self.answer(404, {"error": True, "reason": "Not Found"})

    def do_PATCH(self):
        self.body()
        self.answer(200, {})


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    with open(sys.argv[1], "w") as out:
        out.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
