/* Premiere's pixel-format codes. A code is four characters in memory order,
 * lowest byte first, so 'b','g','r','a' gives 0x61726762 -- not the value of
 * the multi-character literal 'bgra', which is a different format. */
#ifndef SHARDCAST_SDK_PRSDKPIXELFORMAT_H
#define SHARDCAST_SDK_PRSDKPIXELFORMAT_H

#ifdef __cplusplus
extern "C" {
#endif

#define MAKE_PIXEL_FORMAT_FOURCC(ch0, ch1, ch2, ch3)                                           \
  ((unsigned int)(unsigned char)(ch0) | ((unsigned int)(unsigned char)(ch1) << 8) |            \
   ((unsigned int)(unsigned char)(ch2) << 16) | ((unsigned int)(unsigned char)(ch3) << 24))

enum PrPixelFormat {
  PrPixelFormat_BGRA_4444_8u = MAKE_PIXEL_FORMAT_FOURCC('b', 'g', 'r', 'a'),
  PrPixelFormat_ARGB_4444_8u = MAKE_PIXEL_FORMAT_FOURCC('a', 'r', 'g', 'b')
};
typedef enum PrPixelFormat PrPixelFormat;

#ifdef __cplusplus
}
#endif

#endif
