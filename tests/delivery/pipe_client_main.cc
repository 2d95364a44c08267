// The pipe connection tests' other process: all of it is in the shared
// library (tests/delivery/pipe_client.cc).
extern "C" int wayfetch_pipe_client();

int main() {
  return wayfetch_pipe_client();
}
