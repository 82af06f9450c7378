#!/usr/bin/python3
"""Idle clients of the web remote, for the benchmarks.

    web_clients.py PORT CODE COUNT

Pairs with the server on 127.0.0.1:PORT, opens COUNT connections to
/api/live one after another, prints "connected" once all are open and then
reads (answering the server's pings) until it is ended. It sends nothing
else.
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
    # One after another, as browsers open theirs: the server keeps at most
    # eight connections of one address that have not shown their token yet.
    clients = []
    for _ in range(count):
        clients.append(asyncio.create_task(follow(port, token)))
        await ready.acquire()
    print("connected", flush=True)
    await asyncio.gather(*clients)


ready = asyncio.Semaphore(0)
asyncio.run(main(int(sys.argv[1]), sys.argv[2], int(sys.argv[3])))
