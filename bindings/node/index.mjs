// The ES module face of the package: the same objects as require('ravelin').
import ravelin from './index.js';

export const {
  version,
  eventFamilies,
  splitFamilies,
  bake,
  bakeAsync,
  bakeWithInputs,
  Archive,
  BakeSession,
  RavelinError,
  ArchiveEditor,
  extract,
  pack,
} = ravelin;
export default ravelin;
