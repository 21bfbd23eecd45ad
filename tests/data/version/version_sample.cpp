// A program that does nothing: it exists for its version resource (version_sample.rc). It is
// linked without the C runtime so that the file stays a few kilobytes.
extern "C" int SampleEntry() { return 0; }
