#include "ServerOptions.h"
#ifdef _WIN32
#include "Win32PipeServer.h"
#else
#include "SocketPipeServer.h"
#endif

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char *argv[]) {
  ServerOptions options;
  switch (options.Parse(std::vector<std::string>(argv + 1, argv + argc))) {
  case ServerOptions::Action::ShowUsage:
    std::cout << ServerOptions::Usage();
    return 0;
  case ServerOptions::Action::Fail:
    std::cerr << "skellan-server: " << options.ErrorMessage() << "\n"
              << "Try 'skellan-server --help'.\n";
    return 2;
  case ServerOptions::Action::Serve:
    break;
  }
#ifdef _WIN32
  Win32PipeServer server(std::move(options));
  return server.Run();
#else
  // The same socket the client's pipe layer maps the name to.
  const PipeName pipe(("\\\\.\\pipe\\" + options.Name()).c_str());
  if (pipe.GetError() != ERROR_SUCCESS) {
    std::cerr << "skellan-server: the socket path for pipe name '" << options.Name()
              << "' is too long\n";
    return 2;
  }
  SocketPipeServer server(std::move(options), pipe);
  return server.Run();
#endif
}
