# cmake -DINPUT=in -DOUTPUT=out -P crlf.cmake: copies a text file with Windows
# line ends (CR LF), for the Windows packages.
file(READ "${INPUT}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
