// The eight orientations as the tool composes them: RotateFlip's types
// (QUADTURN_* in quadturn.h) as displayed, and TIFF and EXIF orientation
// tags, which say which type shows the stored pixels upright.
#ifndef QUADTURN_TOOLS_ORIENTATION_H
#define QUADTURN_TOOLS_ORIENTATION_H

namespace quadturn::tool {

// The type that does `first`, then `then`.
int Compose(int first, int then);
// The type that undoes `type`.
int Inverse(int type);
// The type a viewer applies to stored pixels under orientation tag 1-8
// (any other value counts as 1), and the tag whose type that is.
int TypeOfTag(int orientation);
int TagOfType(int type);
// Whether a type exchanges the axes (1, 3, 5, 7).
inline bool SwapsAxes(int type) { return (type & 1) != 0; }

}  // namespace quadturn::tool

#endif  // QUADTURN_TOOLS_ORIENTATION_H
