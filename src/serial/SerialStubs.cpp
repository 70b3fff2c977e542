// Placeholders until the serial transport lands.
#include "serial/CRS232.h"
#include "serial/PortNames.h"
#include "serial/SerialCommunication.h"

SerialCommunication::SerialCommunication() = default;
SerialCommunication::~SerialCommunication() = default;
void SerialCommunication::Configure(const SerialSettings& settings) {
  settings_ = settings;
}
bool SerialCommunication::Open() {
  return false;
}
bool SerialCommunication::Close() {
  return false;
}
bool SerialCommunication::IsOpen() const {
  return false;
}
bool SerialCommunication::Write(const void*, size_t, size_t*) {
  return false;
}
bool SerialCommunication::WriteByte(uint8_t) {
  return false;
}
bool SerialCommunication::Read(void*, size_t, size_t*) {
  return false;
}
bool SerialCommunication::SetBaudRate(int) {
  return false;
}
std::vector<std::string> SerialCommunication::EnumeratePorts() {
  return {};
}
void SerialCommunication::OnReceive() {}
void SerialCommunication::StopReader(int) {}
void SerialCommunication::ReaderLoop() {}

CRS232::~CRS232() = default;
bool CRS232::Open() {
  return false;
}
void CRS232::SetTimeouts(int ms) {
  timeoutMs = ms;
}
int CRS232::Write(int, uint8_t*) {
  return -1;
}
int CRS232::Read(int, uint8_t*) {
  return -1;
}
bool CRS232::SetRts(bool) {
  return false;
}
bool CRS232::SetDtr(bool) {
  return false;
}
int CRS232::Close() {
  return 0;
}

std::string ResolvePortName(const std::string&) {
  return {};
}
bool ComPortLess(const std::string& a, const std::string& b) {
  return a < b;
}
