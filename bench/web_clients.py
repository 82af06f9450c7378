#!/usr/bin/python3
"""Idle clients of the web remote, for the benchmarks.

    web_clients.py PORT CODE COUNT

Pairs with the server on 127.0.0.1:PORT, opens COUNT connections to
/api/live, prints "connected" once all are open and then reads (answering
the server's pings) until it is ended. It sends nothing else.
"""
import asyncio
import json
import sys
import urllib.request

import websockets


async def follow(port, token):
    async with websockets.connect(
        f"ws://127.0.0.1:{port}/api/live",
        extra_headers={"Authorization": "Bearer " + token},
        ping_interval=None,
        max_size=1 << 20,
    ) as live:
        ready.release()
        async for _ in live:
            pass


async def main(port, code, count):
    request = urllib.request.Request(
        f"http://127.0.0.1:{port}/api/pair",
        data=json.dumps({"code": code, "name": "bench"}).encode(),
        method="POST",
    )
    token = json.load(urllib.request.urlopen(request))["token"]
    clients = [asyncio.create_task(follow(port, token)) for _ in range(count)]
    for _ in range(count):
        await ready.acquire()
    print("connected", flush=True)
    await asyncio.gather(*clients)


ready = asyncio.Semaphore(0)
asyncio.run(main(int(sys.argv[1]), sys.argv[2], int(sys.argv[3])))
