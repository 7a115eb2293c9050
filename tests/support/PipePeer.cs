// A .NET named-pipe server for the tests: a NamedPipeServerStream in byte
// transmission mode, serving any number of clients one thread each.
//
// Usage: mono PipePeer.exe [--send TEXT] [--send-size N] [--close] NAME
// On each connection it sends TEXT, then N bytes of 'a' to 'z' repeating,
// then closes (--close) or echoes whatever it receives until the client
// closes. It logs "listening PATH", where PATH is the socket that .NET
// makes for the pipe (CoreFxPipe_NAME in Path.GetTempPath()), "connect ID"
// and "close ID" on stdout.
using System;
using System.IO;
using System.IO.Pipes;
using System.Text;
using System.Threading;

class PipePeer {
  static string name;
  static byte[] greeting = new byte[0];
  static bool closeAfterGreeting;
  static readonly object logLock = new object();

  static void Log(string line) {
    lock (logLock) {
      Console.Out.Write(line + "\n");
      Console.Out.Flush();
    }
  }

  static byte[] Pattern(int size) {
    var bytes = new byte[size];
    for (int i = 0; i < size; ++i)
      bytes[i] = (byte)('a' + i % 26);
    return bytes;
  }

  static bool Parse(string[] args) {
    var script = new MemoryStream();
    for (int i = 0; i < args.Length; ++i) {
      if (args[i] == "--close") {
        closeAfterGreeting = true;
      } else if (args[i] == "--send" && i + 1 < args.Length) {
        var text = Encoding.UTF8.GetBytes(args[++i]);
        script.Write(text, 0, text.Length);
      } else if (args[i] == "--send-size" && i + 1 < args.Length) {
        var bytes = Pattern(int.Parse(args[++i]));
        script.Write(bytes, 0, bytes.Length);
      } else if (name == null && !args[i].StartsWith("-")) {
        name = args[i];
      } else {
        return false;
      }
    }
    greeting = script.ToArray();
    return name != null;
  }

  static NamedPipeServerStream NewInstance() {
    return new NamedPipeServerStream(name, PipeDirection.InOut,
                                     NamedPipeServerStream.MaxAllowedServerInstances,
                                     PipeTransmissionMode.Byte);
  }

  static void Serve(NamedPipeServerStream stream, int id) {
    try {
      if (greeting.Length > 0) {
        stream.Write(greeting, 0, greeting.Length);
        stream.Flush();
      }
      if (!closeAfterGreeting) {
        var buffer = new byte[65536];
        int count;
        while ((count = stream.Read(buffer, 0, buffer.Length)) > 0) {
          stream.Write(buffer, 0, count);
          stream.Flush();
        }
      }
    } catch (IOException) {
      // The client went away mid-write; the connection is over all the same.
    } finally {
      stream.Dispose();
      Log("close " + id);
    }
  }

  static int Main(string[] args) {
    if (!Parse(args)) {
      Console.Error.WriteLine("usage: PipePeer.exe [--send TEXT] [--send-size N] [--close] NAME");
      return 2;
    }
    // The next instance is made before a client is served, so the pipe
    // stays there for the next client.
    var waiting = NewInstance();
    Log("listening " + Path.GetTempPath() + "CoreFxPipe_" + name);
    for (int id = 1;; ++id) {
      waiting.WaitForConnection();
      Log("connect " + id);
      var connected = waiting;
      waiting = NewInstance();
      int served = id;
      var thread = new Thread(() => Serve(connected, served));
      thread.IsBackground = true;
      thread.Start();
    }
  }
}
