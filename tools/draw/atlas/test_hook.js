// Test builds only: the map's handle as window.atlas, for the scripts that
// drive the page (the browser test, the screenshot script). The page users
// get leaves this file out.
import {atlas} from "./boot.js";

window.atlas = atlas;
