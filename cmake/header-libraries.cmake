# The header-only libraries of the web remote and of the state object
# (Boost.Beast and Asio, nlohmann-json). The cross build gets a folder that holds only boost/ and
# nlohmann/, so that no header of the build machine's C library is mixed in.
add_library(podiant_web_headers INTERFACE)
if(CMAKE_CROSSCOMPILING)
  set(web_include ${CMAKE_BINARY_DIR}/web-include)
  file(MAKE_DIRECTORY ${web_include})
  file(CREATE_LINK /usr/include/boost ${web_include}/boost SYMBOLIC)
  file(CREATE_LINK /usr/include/nlohmann ${web_include}/nlohmann SYMBOLIC)
  target_include_directories(podiant_web_headers SYSTEM INTERFACE ${web_include})
endif()

# Under ThreadSanitizer, Asio's fenced blocks (atomic_thread_fence, which the
# sanitizer cannot follow: gcc warns with -Wtsan) give way to Asio's empty ones.
# Each io_context here runs on one thread and other threads reach it only
# through Asio's mutex-guarded queue, which the sanitizer does follow, so the
# sanitizer then checks the synchronization the program really relies on.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread")
  target_compile_definitions(podiant_web_headers INTERFACE BOOST_ASIO_DISABLE_FENCED_BLOCK)
endif()
