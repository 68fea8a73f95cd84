// A function whose frame holds FRAME_BYTES of locals, built as the setup
// program is (setup.frame_limit.*): a frame of a page must stop the build.
static void Fill(volatile char *bytes, int count)
{
    for (int i = 0; i < count; i++)
        bytes[i] = static_cast<char>(i);
}

extern "C" int Entry()
{
    volatile char buffer[FRAME_BYTES];
    Fill(buffer, FRAME_BYTES);
    return buffer[7];
}
